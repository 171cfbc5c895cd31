// Every fault the board can be told to commit, seen from the link library.
#include <chrono>
#include <future>

#include "sim_support.h"

namespace {

using namespace std::chrono;

class fault_test : public sim_test {
protected:
    // Starts the board with these faults and opens the link.
    void with(const bsim::faults& f)
    {
        cfg.fault = f;
        start_board();
        ASSERT_TRUE(open_link());
    }
    int version(unsigned* out = nullptr)
    {
        unsigned char buf[4] = {};
        unsigned short got = 0;
        int r = link.eth_send_cmd(3, XFER_READ, 0, buf, 4, &got);
        if (out) *out = got;
        return r;
    }
    int probe(uint32_t arg) { return link.eth_send_cmd(0, XFER_READ, arg, nullptr, 0, nullptr); }
};

TEST_F(fault_test, replies_that_fail_validation_are_rejected_and_the_link_stays)
{
    struct {
        const char* name;
        bsim::faults f;
    } cases[] = {
        {"bad magic", [] { bsim::faults f; f.bad_magic = true; return f; }()},
        {"bad cmd", [] { bsim::faults f; f.bad_cmd = true; return f; }()},
        {"bad arg", [] { bsim::faults f; f.bad_arg = true; return f; }()},
        {"reply_len 0xFFFF", [] { bsim::faults f; f.len_ffff = true; return f; }()},
        {"oversized", [] { bsim::faults f; f.oversized = 12000; return f; }()},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        link.eth_device_close();
        closes.calls = 0;
        with(c.f);
        EXPECT_EQ(version(), VESK_ERR_INVALID_REPLY);
        EXPECT_EQ(version(), VESK_ERR_INVALID_REPLY) << "a second exchange still in step";
        EXPECT_EQ(closes.calls, 0);
    }
}

TEST_F(fault_test, only_the_chosen_command_is_corrupted)
{
    bsim::faults f;
    f.bad_arg = true;
    f.only_cmd = 3;
    with(f);
    EXPECT_EQ(version(), VESK_ERR_INVALID_REPLY);
    EXPECT_EQ(probe(0), 0);
}

TEST_F(fault_test, closing_after_n_frames_and_in_the_middle_of_a_reply_lose_the_link)
{
    bsim::faults f;
    f.close_after_frames = 2;
    with(f);
    EXPECT_EQ(version(), 0);
    EXPECT_EQ(version(), 0);
    EXPECT_TRUE(wait_for([&] { return closes.calls == 1; }));
    EXPECT_EQ(version(), VESK_ERR_NOT_CONNECTED);

    link.eth_device_close();
    f = {};
    f.close_mid_reply_at = 2;
    closes.calls = 0;
    with(f);
    EXPECT_EQ(version(), 0);
    EXPECT_EQ(version(), VESK_ERR_NOT_CONNECTED);
    // The callback runs on the receive thread, after the sender was woken.
    EXPECT_TRUE(wait_for([&] { return closes.calls == 1; }));
}

TEST_F(fault_test, delays_and_one_byte_pieces_still_give_whole_replies)
{
    bsim::faults f;
    f.delay_ms = 150;
    f.byte_by_byte = true;
    with(f);
    auto t0 = steady_clock::now();
    unsigned got = 0;
    EXPECT_EQ(version(&got), 0);
    EXPECT_EQ(got, 4u);
    EXPECT_GE(steady_clock::now() - t0, milliseconds(150));
}

TEST_F(fault_test, a_muted_command_keeps_the_sender_waiting_until_the_link_breaks)
{
    bsim::faults f;
    f.mute_cmds = {3};
    with(f);
    auto pending = std::async(std::launch::async, [&] { return version(); });
    EXPECT_EQ(pending.wait_for(milliseconds(300)), std::future_status::timeout);
    sim->drop_connection();
    ASSERT_EQ(pending.wait_for(seconds(30)), std::future_status::ready);
    EXPECT_EQ(pending.get(), VESK_ERR_NOT_CONNECTED);
}

TEST_F(fault_test, an_unsolicited_frame_does_not_answer_the_next_request)
{
    bsim::faults f;
    f.unsolicited_after_ms = 0;
    with(f);
    ASSERT_TRUE(wait_for([&] { return sim->last_trace().find("unsolicited") != std::string::npos; }));
    std::this_thread::sleep_for(milliseconds(50));
    unsigned got = 0;
    EXPECT_EQ(version(&got), 0);
    EXPECT_EQ(got, 4u);
}

TEST_F(fault_test, reserved_probe_arguments_and_armed_shots_hit_one_exchange)
{
    with({});
    auto t0 = steady_clock::now();
    EXPECT_EQ(probe(bsim::PROBE_LATE_BASE | 200), 0);
    EXPECT_GE(steady_clock::now() - t0, milliseconds(200));
    EXPECT_EQ(probe(bsim::PROBE_BYTE_BY_BYTE), 0);
    EXPECT_EQ(probe(bsim::PROBE_GARBAGE), VESK_ERR_INVALID_REPLY);
    EXPECT_EQ(probe(0), 0);

    // The third FRAM write of a transfer fails, the others go through.
    sim->arm_fault(bsim::fault_kind::bad_arg, 16, 2);
    std::vector<uint8_t> chunk(64, 0x5A);
    int results[4];
    for (int i = 0; i < 4; ++i) results[i] = send(16, XFER_WRITE, uint32_t(i * 64), chunk);
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(results[2], VESK_ERR_INVALID_REPLY);
    EXPECT_EQ(results[3], 0);
    sim->arm_fault(bsim::fault_kind::close_now, 3);
    EXPECT_EQ(version(), VESK_ERR_NOT_CONNECTED);
}

}  // namespace
