// Board functions against a scripted board: frames byte for byte, range
// refusals, and what reaches the caller.
#include <cstdio>
#include <cstring>

#include "support.h"

namespace {

using bytes = std::vector<unsigned char>;

class board_functions : public board_test {};

TEST_F(board_functions, rgb_fh_frame_is_byte_exact)
{
    ASSERT_EQ(mcu_bsp_rgb_fh(0x1234), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 1u);
    bytes expected = {0xA5, 0x5A, 0x17, 0x00, 0x04, 0x00, 0xFF, 0xFF, 0x01, 0x01, 0x01, 0x00,
                      0xBF, 0x82, 0x93, 0x48, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                      0x02, 0x00, 0x00, 0x00, 0x34, 0x12};
    EXPECT_EQ(f[0].bytes, expected);
}

TEST_F(board_functions, rgb_strip_selectors_and_payloads)
{
    ASSERT_EQ(mcu_bsp_rgb_bh(7), 0);
    ASSERT_EQ(mcu_bsp_rgb_progress(100), 0);
    unsigned short colors[8] = {1, 2, 3, 4, 5, 6, 7, 0xABCD};
    ASSERT_EQ(mcu_bsp_rgb_led(40, 8, colors), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].arg, 0x00010201u);
    EXPECT_EQ(f[0].payload(), le16(7));
    EXPECT_EQ(f[1].arg, 0x00010001u);
    EXPECT_EQ(f[1].payload(), le16(100));
    EXPECT_EQ(f[2].cmd, 23);
    EXPECT_EQ(f[2].type, 4);
    EXPECT_EQ(f[2].arg, 0x00082B01u);  // selector 3 + 40, 8 values
    ASSERT_EQ(f[2].data_len, 16u);
    EXPECT_EQ(f[2].payload()[14], 0xCD);
    EXPECT_EQ(f[2].payload()[15], 0xAB);
}

TEST_F(board_functions, range_refusals_send_nothing_and_say_why)
{
    unsigned short colors[49] = {};
    EXPECT_EQ(mcu_bsp_rgb_progress(101), -7);
    EXPECT_EQ(mcu_bsp_rgb_led(40, 9, colors), -7);
    EXPECT_EQ(mcu_bsp_rgb_led(5, 0, colors), -7);
    EXPECT_EQ(mcu_bsp_rgb_led(255, 255, colors), -7);  // no wrap-around of start + num
    EXPECT_EQ(mcu_bsp_cnc_output_tool_switch(static_cast<tool_switch_type>(2), true), -7);
    EXPECT_TRUE(board->commands().empty());
    auto t = traces.lines();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], "mcu_bsp_rgb_progress():progress value must <= 100,but the value is 101\n");
    EXPECT_EQ(t[1], "mcu_bsp_rgb_led():led_num value must < 48,but the value is 49\n");
    EXPECT_EQ(t[2], "mcu_bsp_rgb_led():led_num value must > 0\n");
    EXPECT_EQ(t[3], "mcu_bsp_rgb_led():led_num value must < 48,but the value is 510\n");
}

TEST_F(board_functions, status_led_is_clamped_to_100_percent)
{
    ASSERT_EQ(mcu_bsp_led_rgb(150, 50, 101), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 3u);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(f[i].cmd, 17);
        EXPECT_EQ(f[i].type, 4);
        EXPECT_EQ(f[i].arg, i);
    }
    EXPECT_EQ(f[0].payload(), bytes{100});
    EXPECT_EQ(f[1].payload(), bytes{50});
    EXPECT_EQ(f[2].payload(), bytes{100});
}

TEST_F(board_functions, machine_outputs)
{
    ASSERT_EQ(mcu_bsp_cnc_output_tool_switch(TOOL_SWITCH_1, true), 0);
    ASSERT_EQ(mcu_bsp_cnc_output_tool_switch(TOOL_SWITCH_0, false), 0);
    ASSERT_EQ(mcu_bsp_cnc_output_dust_switch(true), 0);
    ASSERT_EQ(mcu_bsp_cnc_calib(), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].arg, 12u);
    EXPECT_EQ(f[0].payload(), (bytes{1, 1}));
    EXPECT_EQ(f[1].payload(), (bytes{0, 0}));
    EXPECT_EQ(f[2].arg, 15u);
    EXPECT_EQ(f[2].payload(), bytes{1});
    // Calibration: a bare 32-byte header without a data buffer.
    bytes calib = {0xA5, 0x5A, 48, 0, 4, 0, 0xFF, 0xFF, 13, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(f[3].bytes, calib);
}

TEST_F(board_functions, first_status_led_failure_stops_the_rest)
{
    board->reject_when([](const request_frame& f) { return f.cmd == 17 && f.arg == 1; });
    EXPECT_EQ(mcu_bsp_led_rgb(1, 2, 3), -4);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 2u);  // red and the rejected green; blue never sent
    EXPECT_EQ(f[1].arg, 1u);
}

}  // namespace

// The size and checksum queries answer in the block that carried the name:
// an answer shorter than the field fails the query instead of leaving name
// bytes standing in for the size or the checksum.
TEST_F(board_test, a_short_answer_to_a_size_or_checksum_query_fails_it)
{
    board->set_answer([](const request_frame& f) {
        return f.cmd == 21 ? std::vector<unsigned char>{0x10, 0x00} : default_answer(f);
    });
    _flash_msg m;
    std::memset(&m, 0, sizeof m);
    m.target = FLASH_TARGET_SDCARD;
    std::snprintf(m.file_name, sizeof m.file_name, "part_N.nc");
    m.op = 7;
    m.size = 0xABCD;
    EXPECT_EQ(mcu_bsp_sdcard(&m), PELK_ERR_COMMAND);
    EXPECT_EQ(m.size, 0xABCDu);
    m.op = 8;
    EXPECT_EQ(mcu_bsp_sdcard(&m), PELK_ERR_COMMAND);
    EXPECT_EQ(m.checksum[0], 0);

    // Whole answers still count.
    board->set_answer([](const request_frame& f) {
        if (f.cmd != 21) return default_answer(f);
        std::vector<unsigned char> a(f.arg == 128 ? 4 : 32, 0);
        a[0] = 0x34;
        return a;
    });
    m.op = 7;
    EXPECT_EQ(mcu_bsp_sdcard(&m), 0);
    EXPECT_EQ(m.size, 0x34u);
    m.op = 8;
    EXPECT_EQ(mcu_bsp_sdcard(&m), 0);
    EXPECT_EQ(m.checksum[0], 0x34);
}
