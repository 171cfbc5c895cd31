// Transfers against a scripted board: the command sequences byte for byte,
// padding, progress, read-back ends, refusals that send nothing, and failed
// exchanges.
#include <cstring>

#include "../controller/support.h"
#include "transfer_support.h"
#include "vesk.h"

namespace {

class transfer : public board_test {
protected:
    scratch_dir scratch;

    // cmd/arg/type of every command frame, for order checks.
    std::vector<std::tuple<int, uint32_t, int>> sequence()
    {
        std::vector<std::tuple<int, uint32_t, int>> out;
        for (auto& f : board->commands()) out.emplace_back(f.cmd, f.arg, f.type);
        return out;
    }
    using seq = std::vector<std::tuple<int, uint32_t, int>>;
};

TEST_F(transfer, sd_write_with_checksum_is_byte_exact)
{
    write_text("abc.txt", "abc");
    _flash_msg m = make_msg(FLASH_TARGET_SDCARD, 4, "abc.txt");
    m.check = 1;
    int32_t progress = -1;
    m.progress = &progress;
    ASSERT_EQ(mcu_bsp_sdcard(&m), 0);

    auto f = board->commands();
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].cmd, 21);
    EXPECT_EQ(f[0].type, 4);
    EXPECT_EQ(f[0].arg, 1u);
    EXPECT_EQ(f[0].payload(), name_field("abc.txt"));

    EXPECT_EQ(f[1].cmd, 20);
    EXPECT_EQ(f[1].type, 4);
    EXPECT_EQ(f[1].arg, 0u);
    EXPECT_EQ(f[1].payload(), (bytes{'a', 'b', 'c', 0}));
    EXPECT_EQ(f[1].crc, payload_crc32("abc\0", 4));

    bytes sum(32, 0);
    sum[0] = 0x4C, sum[1] = 0xB7, sum[2] = 0x19, sum[3] = 0x86;
    EXPECT_EQ(f[2].cmd, 21);
    EXPECT_EQ(f[2].type, 4);
    EXPECT_EQ(f[2].arg, 256u);
    EXPECT_EQ(f[2].payload(), sum);

    EXPECT_EQ(f[3].cmd, 21);
    EXPECT_EQ(f[3].arg, 4u);
    EXPECT_EQ(f[3].payload(), name_field("abc.txt"));

    EXPECT_EQ(bytes(m.checksum, m.checksum + 32), sum);
    EXPECT_EQ(progress, 4);
    std::vector<std::string> expected = {"mcu_bsp_sdcard():creat file abc.txt \n",
                                         "mcu_bsp_sdcard():update file\n",
                                         "mcu_update_flash():abc.txt start\n",
                                         "mcu_update_flash():success,tansfer 4 bytes\n",
                                         "mcu_bsp_sdcard():check file\n",
                                         "mcu_bsp_sdcard():close file\n"};
    EXPECT_EQ(traces.lines(), expected);
}

TEST_F(transfer, fpga_write_pads_the_last_chunk_and_ends_progress_at_1024)
{
    bytes image = random_bytes(1023, 3);
    write_file("fpga.bin", image);
    _flash_msg m = make_msg(FLASH_TARGET_FPGA, 4, "fpga.bin");
    int32_t progress = 0;
    m.progress = &progress;
    ASSERT_EQ(mcu_bsp_fpga_flash(&m), 0);

    auto f = board->commands();
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(sequence(), (seq{{33, 2, 4}, {32, 0, 1}, {32, 0, 4}, {33, 2, 4}}));
    EXPECT_EQ(f[0].payload(), bytes{0});
    EXPECT_EQ(f[1].data_len, 0u);  // the erase carries nothing
    EXPECT_EQ(f[1].crc, 0xFFFFFFFFu);
    bytes sent = image;
    sent.push_back(0);
    EXPECT_EQ(f[2].payload(), sent);
    EXPECT_EQ(f[3].payload(), bytes{1});
    EXPECT_EQ(progress, 1024);
}

TEST_F(transfer, fpga_empty_image_fails_after_control_and_erase)
{
    write_file("empty.bin", {});
    _flash_msg m = make_msg(FLASH_TARGET_FPGA, 4, "empty.bin");
    EXPECT_EQ(mcu_bsp_fpga_flash(&m), -4);
    EXPECT_EQ(sequence(), (seq{{33, 2, 4}, {32, 0, 1}}));
    EXPECT_EQ(board->commands()[0].payload(), bytes{0});
}

TEST_F(transfer, fpga_erase_read_and_reset_sequences)
{
    _flash_msg erase = make_msg(FLASH_TARGET_FPGA, 6, "never-opened.bin");
    ASSERT_EQ(mcu_bsp_fpga_flash(&erase), 0);
    EXPECT_FALSE(file_exists("never-opened.bin"));
    EXPECT_EQ(sequence(), (seq{{33, 2, 4}, {32, 0, 1}}));

    board->clear();
    ASSERT_EQ(mcu_bsp_fpga_reset(), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(sequence(), (seq{{33, 1, 4}, {33, 1, 4}}));
    EXPECT_EQ(f[0].payload(), bytes{0});
    EXPECT_EQ(f[1].payload(), bytes{1});

    // Read back 2500 bytes from a board that always has more: 1024, 1024,
    // then 452 asked; progress counts every full chunk.
    board->clear();
    _flash_msg rd = make_msg(FLASH_TARGET_FPGA, 5, "back.bin");
    rd.size = 2500;
    int32_t progress = 0;
    rd.progress = &progress;
    board->set_answer([](const request_frame& fr) {
        if (fr.type == 2) return bytes(fr.data_len, static_cast<unsigned char>(fr.arg >> 10));
        return default_answer(fr);
    });
    ASSERT_EQ(mcu_bsp_fpga_flash(&rd), 0);
    EXPECT_EQ(sequence(), (seq{{33, 2, 4}, {32, 0, 2}, {32, 1024, 2}, {32, 2048, 2}}));
    EXPECT_EQ(board->commands()[3].data_len, 452u);
    bytes back = read_file("back.bin");
    ASSERT_EQ(back.size(), 2500u);
    EXPECT_EQ(back[0], 0);
    EXPECT_EQ(back[1024], 1);
    EXPECT_EQ(back[2499], 2);
    EXPECT_EQ(progress, 2500);
}

TEST_F(transfer, read_ends_at_the_first_short_answer)
{
    board->set_answer([](const request_frame& fr) {
        if (fr.type == 2 && fr.cmd == 20) return bytes(fr.arg == 0 ? fr.data_len : 10, 0x5A);
        return default_answer(fr);
    });
    _flash_msg m = make_msg(FLASH_TARGET_SDCARD, 5, "log.txt");
    m.size = 100000;
    int32_t progress = 0;
    m.progress = &progress;
    ASSERT_EQ(mcu_bsp_sdcard(&m), 0);
    EXPECT_EQ(sequence(), (seq{{21, 2, 4}, {20, 0, 2}, {20, 1024, 2}, {21, 4, 4}}));
    EXPECT_EQ(read_file("log.txt"), bytes(1034, 0x5A));
    EXPECT_EQ(progress, 1024);  // the short chunk does not count
    EXPECT_TRUE(traces.contains("mcu_update_flash():success,tansfer 1024 bytes\n"));
    EXPECT_TRUE(traces.contains("mcu_bsp_sdcard():no check\n"));
}

TEST_F(transfer, mcu_application_ops)
{
    EXPECT_EQ(mcu_bsp_update_app(nullptr), -7);
    _flash_msg rd = make_msg(FLASH_TARGET_APP, 5, "app.bin");
    EXPECT_EQ(mcu_bsp_update_app(&rd), -6);
    EXPECT_TRUE(board->commands().empty());
    EXPECT_FALSE(file_exists("app.bin"));

    _flash_msg erase = make_msg(FLASH_TARGET_APP, 6, "app.bin");
    ASSERT_EQ(mcu_bsp_update_app(&erase), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].cmd, 9);
    EXPECT_EQ(f[0].type, 1);
    EXPECT_EQ(f[0].arg, 2u);
    EXPECT_EQ(f[0].payload(), bytes{0});

    board->clear();
    write_file("app.bin", random_bytes(2048 + 6, 9));
    _flash_msg wr = make_msg(FLASH_TARGET_APP, 4, "app.bin");
    ASSERT_EQ(mcu_bsp_update_app(&wr), 0);
    EXPECT_EQ(sequence(), (seq{{9, 1, 1}, {9, 0, 4}, {9, 1024, 4}, {9, 2048, 4}, {9, 2, 1}}));
    EXPECT_EQ(board->commands()[3].data_len, 8u);
    EXPECT_EQ(board->commands()[4].payload(), bytes{1});
}

TEST_F(transfer, failed_exchange_stops_the_transfer)
{
    write_file("img.bin", random_bytes(4096, 1));
    board->reject_when([](const request_frame& fr) { return fr.cmd == 32 && fr.arg == 2048; });
    _flash_msg m = make_msg(FLASH_TARGET_FPGA, 4, "img.bin");
    EXPECT_EQ(mcu_bsp_fpga_flash(&m), -4);
    // No chunk after the failed one, and line 2 is left at 0.
    EXPECT_EQ(sequence(), (seq{{33, 2, 4}, {32, 0, 1}, {32, 0, 4}, {32, 1024, 4}, {32, 2048, 4}}));
    EXPECT_TRUE(traces.contains("mcu_update_flash():err,6\n"));

    // A checked write of a missing file fails before any data command.
    board->clear();
    traces.clear();
    _flash_msg sd = make_msg(FLASH_TARGET_SDCARD, 4, "missing.bin");
    sd.check = 1;
    EXPECT_EQ(mcu_bsp_sdcard(&sd), -4);
    EXPECT_EQ(sequence(), (seq{{21, 1, 4}}));
    EXPECT_TRUE(traces.contains("mcu_update_flash():get file checksum fail\n"));
}

TEST_F(transfer, sd_queries_and_simple_ops)
{
    board->set_answer([](const request_frame& fr) {
        if (fr.cmd == 21 && fr.arg == 128) {
            bytes a = le32(1000);
            a.resize(256, 0);
            return a;
        }
        if (fr.cmd == 21 && fr.arg == 512) {
            bytes a(256, 0);
            for (int i = 0; i < 32; ++i) a[i] = static_cast<unsigned char>(0xC0 + i);
            return a;
        }
        return default_answer(fr);
    });
    _flash_msg st = make_msg(FLASH_TARGET_SDCARD, 7, "a.nc");
    st.check = 3;
    ASSERT_EQ(mcu_bsp_sdcard(&st), 0);
    EXPECT_EQ(st.size, 1000u);
    EXPECT_EQ(st.check, 3);
    EXPECT_EQ(st.target, uint32_t(FLASH_TARGET_SDCARD));
    EXPECT_EQ(std::string(st.file_name), "a.nc");

    _flash_msg ck = make_msg(FLASH_TARGET_SDCARD, 8, "a.nc");
    ASSERT_EQ(mcu_bsp_sdcard(&ck), 0);
    EXPECT_EQ(ck.checksum[0], 0xC0);
    EXPECT_EQ(ck.checksum[31], 0xC0 + 31);

    for (uint32_t op : {1u, 2u, 3u, 6u, 9u}) {
        _flash_msg m = make_msg(FLASH_TARGET_SDCARD, op, "a.nc");
        ASSERT_EQ(mcu_bsp_sdcard(&m), 0);
    }
    EXPECT_EQ(sequence(), (seq{{21, 128, 1}, {21, 512, 1}, {21, 1, 4}, {21, 2, 4}, {21, 4, 4}, {21, 8, 4},
                               {21, 2048, 1}}));
    auto f = board->commands();
    EXPECT_EQ(f[0].payload(), name_field("a.nc"));
    EXPECT_EQ(f[6].data_len, 0u);
    std::vector<std::string> expected = {
        "mcu_bsp_sdcard():get file a.nc stat\n", "mcu_bsp_sdcard():get file checksum\n",
        "mcu_bsp_sdcard():creat file a.nc \n",   "mcu_bsp_sdcard():open file a.nc \n",
        "mcu_bsp_sdcard():close file a.nc \n",   "mcu_bsp_sdcard():erase file a.nc \n",
        "mcu_bsp_sdcard():mkfs\n"};
    EXPECT_EQ(traces.lines(), expected);

    board->clear();
    for (uint32_t op : {0u, 10u}) {
        _flash_msg m = make_msg(FLASH_TARGET_SDCARD, op, "a.nc");
        EXPECT_EQ(mcu_bsp_sdcard(&m), 0);
    }
    EXPECT_TRUE(board->commands().empty());
}

TEST_F(transfer, names_that_do_not_fit_are_refused_before_sending)
{
    _flash_msg m = make_msg(FLASH_TARGET_SDCARD, 1, "x");
    std::memset(m.file_name, 'n', sizeof m.file_name);  // no terminator anywhere
    EXPECT_EQ(mcu_bsp_sdcard(&m), -7);
    m.op = 4;
    EXPECT_EQ(mcu_bsp_sdcard(&m), -7);
    m.target = FLASH_TARGET_FPGA;
    EXPECT_EQ(mcu_bsp_fpga_flash(&m), -7);
    m.target = FLASH_TARGET_APP;
    EXPECT_EQ(mcu_bsp_update_app(&m), -7);
    EXPECT_EQ(mcu_bsp_update_spindle(&m), -7);
    EXPECT_TRUE(traces.contains("mcu_bsp_sdcard():file name does not fit 256 bytes\n"));

    std::string long_name(256, 'f');
    EXPECT_EQ(mcu_bsp_update_app_from_sd(long_name.c_str(), 256), -7);
    EXPECT_EQ(mcu_bsp_update_rups_from_sd(long_name.c_str(), 60000), -7);
    EXPECT_EQ(mcu_bsp_update_boot_from_sd(nullptr, 3), -7);
    EXPECT_TRUE(traces.contains("mcu_bsp_update_app_from_sd():name length 256 above 255\n"));
    EXPECT_FALSE(traces.contains("write app to sd\n"));
    EXPECT_TRUE(board->commands().empty());
}

TEST_F(transfer, updates_staged_on_the_card)
{
    write_file("spindle.bin", random_bytes(9000, 5));
    _flash_msg m = make_msg(0, 0, "spindle.bin");
    m.check = 1;
    int32_t progress = -1;
    m.progress = &progress;
    ASSERT_EQ(mcu_bsp_update_spindle(&m), 0);
    EXPECT_EQ(m.target, uint32_t(FLASH_TARGET_SPINDLE));
    EXPECT_EQ(m.check, 0);
    EXPECT_EQ(progress, -1);  // drive firmware does not report progress
    EXPECT_EQ(sequence(), (seq{{21, 1, 4}, {20, 0, 4}, {20, 8192, 4}, {21, 4, 4}, {9, 6, 1}}));

    // By name: only len bytes of the name; a name shorter than len ends at its terminator.
    write_file("boot", random_bytes(10, 2));
    board->clear();
    traces.clear();
    ASSERT_EQ(mcu_bsp_update_boot_from_sd("bootloader", 4), 0);
    EXPECT_EQ(sequence(), (seq{{21, 1, 4}, {20, 0, 4}, {21, 4, 4}, {9, 4, 1}}));
    EXPECT_EQ(board->commands()[0].payload(), name_field("boot"));
    EXPECT_EQ(traces.lines().front(), "write boot to sd\n");
    EXPECT_EQ(traces.lines().back(), "start update boot\n");

    board->clear();
    ASSERT_EQ(mcu_bsp_update_app_from_sd("boot", 200), 0);
    EXPECT_EQ(board->commands()[0].payload(), name_field("boot"));
    EXPECT_EQ(std::get<1>(sequence().back()), 5u);

    // A failed card write is passed on and no start command follows.
    board->clear();
    EXPECT_EQ(mcu_bsp_update_dc_from_sd("absent", 6), -4);
    EXPECT_EQ(sequence(), (seq{{21, 1, 4}}));

    board->set_answer([](const request_frame& fr) {
        if (fr.cmd == 9 && fr.arg == 8) return le32(uint32_t(-3));
        return default_answer(fr);
    });
    board->clear();
    int value = 0;
    ASSERT_EQ(mcu_bsp_read_progress(&value), 0);
    EXPECT_EQ(value, -3);
    EXPECT_EQ(sequence(), (seq{{9, 8, 2}}));
    EXPECT_EQ(board->commands()[0].data_len, 4u);
}

}  // namespace
