// One reply of a transfer goes wrong at an exact step: the board hangs up
// instead of answering (the link is lost) or answers with a wrong argument
// (the reply is invalid, the link stays). Each case checks the result, the
// trace lines, what the board holds afterwards (it carries out a command
// before its reply is spoiled), and that the same transfer then succeeds.
#include <tuple>

#include "fault_fixture.h"

namespace {

struct fault_case {
    const char* name;
    bsim::fault_kind kind;
    int link_code;    // the link's result in "mcu_update_flash():err,%d\n"
    bool link_stays;  // whether the link is still open afterwards
};
void PrintTo(const fault_case& k, std::ostream* os) { *os << k.name; }

const fault_case kinds[] = {
    {"lost", bsim::fault_kind::close_now, 4, false},
    {"invalid", bsim::fault_kind::bad_arg, 6, true},
};

// The step whose reply goes wrong: the frame of cmd after skip earlier ones.
struct step_case {
    const char* name;
    int cmd;
    int skip;
    size_t on_board;        // bytes of the padded content the board holds afterwards
    size_t trace_lines;     // leading lines of a successful run's trace that appear
    bool chunk_failed;      // the trace ends with the chunk error line
};
void PrintTo(const step_case& s, std::ostream* os) { *os << s.name; }

template <class Step>
std::string case_name(const ::testing::TestParamInfo<std::tuple<Step, fault_case>>& info)
{
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

class stepped : public fault_fixture {
protected:
    // Arms the fault, runs op and checks what every case shares: the
    // result, the trace and the state of the link.
    void fail_at(const step_case& s, const fault_case& k, const std::vector<std::string>& success_trace,
                 const std::function<int()>& op)
    {
        sim->arm_fault(k.kind, s.cmd, s.skip);
        EXPECT_EQ(op(), -4);
        std::vector<std::string> want(success_trace.begin(), success_trace.begin() + long(s.trace_lines));
        if (!k.link_stays) {
            // The link's own lines: the receive thread sees the hang-up and
            // wakes the waiting sender.
            want.push_back("recv() server disconnect.\n");
            want.push_back("recv timeout.\n");
        }
        if (s.chunk_failed) want.push_back("mcu_update_flash():err," + std::to_string(k.link_code) + "\n");
        EXPECT_EQ(traces.lines(), want);
        if (k.link_stays) {
            EXPECT_TRUE(dev->cnc_dev_state());
            EXPECT_EQ(closes, 0);
        } else {
            EXPECT_TRUE(wait_until([&] { return closes == 1; }));
            EXPECT_FALSE(dev->cnc_dev_state());
            ASSERT_TRUE(reopen());
        }
    }
};

// An SD file of three full chunks and a short one, written with checksum.
class sd_write_fault : public stepped, public ::testing::WithParamInterface<std::tuple<step_case, fault_case>> {};

TEST_P(sd_write_fault, board_keeps_what_it_was_sent_and_a_retry_completes)
{
    const auto& [s, k] = GetParam();
    const bytes content = random_bytes(3 * 8192 + 1001, 7);
    const bytes padded = padded4(content);
    write_file("sd.bin", content);
    _flash_msg msg = make_msg(FLASH_TARGET_SDCARD, 4, "sd.bin");
    msg.check = 1;
    int32_t progress = 0;
    msg.progress = &progress;
    auto write = [&] { return mcu_bsp_sdcard(&msg); };

    fail_at(s, k,
            {"mcu_bsp_sdcard():creat file sd.bin \n", "mcu_bsp_sdcard():update file\n",
             "mcu_update_flash():sd.bin start\n", "mcu_update_flash():success,tansfer 25580 bytes\n",
             "mcu_bsp_sdcard():check file\n", "mcu_bsp_sdcard():close file\n"},
            write);
    EXPECT_EQ(read_file(sim->sd_path("sd.bin")), prefix(padded, s.on_board));
    // The counter stops at the last chunk that was answered.
    EXPECT_EQ(size_t(progress), s.chunk_failed ? s.on_board - 8192 : std::min(s.on_board, padded.size()));
    EXPECT_EQ(sim->stats().checksum_ok, s.trace_lines >= 5 ? 1u : 0u);

    EXPECT_EQ(write(), 0);
    EXPECT_EQ(read_file(sim->sd_path("sd.bin")), padded);
    EXPECT_EQ(sim->stats().checksum_failed, 0u);
}

INSTANTIATE_TEST_SUITE_P(each_step, sd_write_fault,
                         ::testing::Combine(::testing::Values(step_case{"create", 21, 0, 0, 1, false},
                                                              step_case{"first_chunk", 20, 0, 8192, 3, true},
                                                              step_case{"middle_chunk", 20, 1, 16384, 3, true},
                                                              step_case{"checksum", 21, 1, 25580, 5, false},
                                                              step_case{"close", 21, 2, 25580, 6, false}),
                                            ::testing::ValuesIn(kinds)),
                         case_name<step_case>);

// An FPGA image of three 1024-byte chunks (the last one short) over an
// older, longer image.
class fpga_write_fault : public stepped, public ::testing::WithParamInterface<std::tuple<step_case, fault_case>> {};

TEST_P(fpga_write_fault, flash_and_control_line_show_how_far_it_got)
{
    const auto& [s, k] = GetParam();
    const bytes old_image = random_bytes(5000, 11);
    write_file("old.img", old_image);
    _flash_msg old_msg = make_msg(FLASH_TARGET_FPGA, 4, "old.img");
    ASSERT_EQ(mcu_bsp_fpga_flash(&old_msg), 0);
    traces.clear();

    const bytes image = random_bytes(3000, 12);
    write_file("new.img", image);
    _flash_msg msg = make_msg(FLASH_TARGET_FPGA, 4, "new.img");
    auto write = [&] { return mcu_bsp_fpga_flash(&msg); };
    fail_at(s, k, {"mcu_update_flash():new.img start\n", "mcu_update_flash():success,tansfer 3000 bytes\n"}, write);

    // The control step leaves the old image; the erase leaves none.
    EXPECT_EQ(sim->fpga_image(), s.cmd == 33 && s.skip == 0 ? padded4(old_image) : prefix(image, s.on_board));
    // Line 2 goes back up only when the final control command was carried out.
    EXPECT_EQ(sim->peripheral_state().fpga_prog_line, s.cmd == 33 && s.skip == 1 ? 1 : 0);

    EXPECT_EQ(write(), 0);
    EXPECT_EQ(sim->fpga_image(), image);
    EXPECT_EQ(sim->peripheral_state().fpga_prog_line, 1);
}

INSTANTIATE_TEST_SUITE_P(each_step, fpga_write_fault,
                         ::testing::Combine(::testing::Values(step_case{"control", 33, 0, 0, 0, false},
                                                              step_case{"erase", 32, 0, 0, 0, false},
                                                              step_case{"chunk", 32, 2, 2048, 1, true},
                                                              step_case{"final_control", 33, 1, 3000, 2, false}),
                                            ::testing::ValuesIn(kinds)),
                         case_name<step_case>);

// Drive firmware staged on the card (two chunks, no checksum) and then
// started; spindle and dc take the same path with their own start argument.
struct drive_case {
    const char* name;
    int (*update)(_flash_msg*);
};
void PrintTo(const drive_case& d, std::ostream* os) { *os << d.name; }

class drive_update_fault
    : public stepped,
      public ::testing::WithParamInterface<std::tuple<std::tuple<step_case, drive_case>, fault_case>> {};

std::string drive_case_name(const ::testing::TestParamInfo<drive_update_fault::ParamType>& info)
{
    const auto& sd = std::get<0>(info.param);
    return std::string(std::get<1>(sd).name) + "_" + std::get<0>(sd).name + "_" + std::get<1>(info.param).name;
}

TEST_P(drive_update_fault, staged_file_and_started_update_show_how_far_it_got)
{
    const auto& [sd, k] = GetParam();
    const auto& [s, d] = sd;
    const bytes firmware = random_bytes(12000, 21);
    write_file("drive.fw", firmware);
    _flash_msg msg = make_msg(FLASH_TARGET_SDCARD, 4, "drive.fw");
    msg.check = 1;  // overridden: drive updates go without a checksum
    auto update = [&] { return d.update(&msg); };
    fail_at(s, k,
            {"mcu_bsp_sdcard():creat file drive.fw \n", "mcu_bsp_sdcard():update file\n",
             "mcu_update_flash():drive.fw start\n", "mcu_update_flash():success,tansfer 12000 bytes\n",
             "mcu_bsp_sdcard():no check\n", "mcu_bsp_sdcard():close file\n"},
            update);
    EXPECT_EQ(read_file(sim->sd_path("drive.fw")), prefix(firmware, s.on_board));
    EXPECT_EQ(sim->stats().checksum_ok + sim->stats().checksum_failed, 0u);

    // Only a start command the board carried out begins the update.
    int progress = -2;
    if (s.cmd == 9) {
        EXPECT_TRUE(wait_until([&] { return mcu_bsp_read_progress(&progress) == 0 && progress == 12000; }));
    } else {
        EXPECT_EQ(mcu_bsp_read_progress(&progress), 0);
        EXPECT_EQ(progress, 0);
    }

    EXPECT_EQ(update(), 0);
    EXPECT_EQ(read_file(sim->sd_path("drive.fw")), firmware);
    EXPECT_TRUE(wait_until([&] { return mcu_bsp_read_progress(&progress) == 0 && progress == 12000; }));
}

INSTANTIATE_TEST_SUITE_P(
    each_step, drive_update_fault,
    ::testing::Combine(::testing::Combine(::testing::Values(step_case{"create", 21, 0, 0, 1, false},
                                                            step_case{"first_chunk", 20, 0, 8192, 3, true},
                                                            step_case{"last_chunk", 20, 1, 12000, 3, true},
                                                            step_case{"close", 21, 1, 12000, 6, false},
                                                            step_case{"start", 9, 0, 12000, 6, false}),
                                          ::testing::Values(drive_case{"spindle", &mcu_bsp_update_spindle},
                                                            drive_case{"dc", &mcu_bsp_update_dc})),
                       ::testing::ValuesIn(kinds)),
    drive_case_name);

}  // namespace
