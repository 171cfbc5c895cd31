// Board functions against a scripted board: frames byte for byte, range
// refusals, and what reaches the caller.
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

TEST_F(board_functions, buzzer_uses_one_command_two_ways)
{
    ASSERT_EQ(mcu_bsp_buzzer_duty(30), 0);
    ASSERT_EQ(mcu_bsp_buzzer_period(0x01020304), 0);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].cmd, 18);
    EXPECT_EQ(f[0].type, 4);
    EXPECT_EQ(f[0].payload(), bytes{30});
    EXPECT_EQ(f[1].cmd, 18);
    EXPECT_EQ(f[1].type, 1);
    EXPECT_EQ(f[1].payload(), le32(0x01020304));
}

TEST_F(board_functions, identity_and_reads_reach_the_caller)
{
    board->set_script([](const frame& f) -> bytes {
        if (f.cmd == 2) return {'M', 'A', 'C', 'H', 'I', 'N', 'E', '-', 'I', 'D', '0', '7'};
        if (f.cmd == 3) return {3, 2}; // a short version reply
        if (f.cmd == 19) return {f.arg == 4 ? uint8_t(1) : uint8_t(0)};
        if (f.cmd == 16 && f.type == 2) return bytes(f.data_len, 0x5C);
        return default_answer(f);
    });
    unsigned char id[20];
    std::memset(id, 0xEE, sizeof id);
    ASSERT_EQ(mcu_bsp_get_mcu_id(id, 20), 0);
    EXPECT_EQ(std::memcmp(id, "MACHINE-ID07", 12), 0);
    EXPECT_EQ(id[12], 0xEE);
    std::memset(id, 0xEE, sizeof id);
    ASSERT_EQ(mcu_bsp_get_mcu_id(id, 4), 0);
    EXPECT_EQ(std::memcmp(id, "MACH", 4), 0);
    EXPECT_EQ(id[4], 0xEE);

    unsigned version = 0xFFFFFFFF;
    ASSERT_EQ(mcu_bsp_get_version(&version), 0);
    EXPECT_EQ(version, 0x0203u);  // missing reply bytes read as zero

    unsigned char state = 9;
    ASSERT_EQ(mcu_bsp_key(4, &state), 0);
    EXPECT_EQ(state, 1);

    unsigned char fram[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(mcu_bsp_fram(1, 0x100, fram, sizeof fram), 0);
    unsigned char back[6] = {};
    ASSERT_EQ(mcu_bsp_fram(0, 0x100, back, sizeof back), 0);
    EXPECT_EQ(back[5], 0x5C);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[0].data_len, 12u);
    EXPECT_EQ(f[3].arg, 4u);
    EXPECT_EQ(f[4].type, 4);
    EXPECT_EQ(f[4].arg, 0x100u);
    EXPECT_EQ(f[4].payload(), (bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(f[5].type, 2);
    EXPECT_EQ(f[5].data_len, 6u);
}

TEST_F(board_functions, first_status_led_failure_stops_the_rest)
{
    board->reject_when([](const frame& f) { return f.cmd == 17 && f.arg == 1; });
    EXPECT_EQ(mcu_bsp_led_rgb(1, 2, 3), -4);
    auto f = board->commands();
    ASSERT_EQ(f.size(), 2u);  // red and the rejected green; blue never sent
    EXPECT_EQ(f[1].arg, 1u);
}

TEST(board_functions_unconnected, every_command_fails_and_range_checks_still_refuse)
{
    unsigned version = 0x55;
    unsigned char id[12] = {7};
    unsigned char key = 3;
    unsigned char fram[4] = {9, 9, 9, 9};
    unsigned short colors[2] = {1, 2};
    EXPECT_EQ(mcu_bsp_get_version(&version), -4);
    EXPECT_EQ(version, 0x55u);
    EXPECT_EQ(mcu_bsp_get_mcu_id(id, 12), -4);
    EXPECT_EQ(id[0], 7);
    EXPECT_EQ(mcu_bsp_key(0, &key), -4);
    EXPECT_EQ(key, 3);
    EXPECT_EQ(mcu_bsp_fram(0, 0, fram, 4), -4);
    EXPECT_EQ(fram[0], 9);
    EXPECT_EQ(mcu_bsp_led_rgb(1, 1, 1), -4);
    EXPECT_EQ(mcu_bsp_rgb_fh(1), -4);
    EXPECT_EQ(mcu_bsp_rgb_bh(1), -4);
    EXPECT_EQ(mcu_bsp_rgb_progress(1), -4);
    EXPECT_EQ(mcu_bsp_rgb_progress(200), -7);
    EXPECT_EQ(mcu_bsp_rgb_led(0, 2, colors), -4);
    EXPECT_EQ(mcu_bsp_rgb_led(0, 0, colors), -7);
    EXPECT_EQ(mcu_bsp_buzzer_duty(1), -4);
    EXPECT_EQ(mcu_bsp_buzzer_period(1), -4);
    EXPECT_EQ(mcu_bsp_cnc_output_tool_switch(TOOL_SWITCH_0, true), -4);
    EXPECT_EQ(mcu_bsp_cnc_output_tool_switch(static_cast<tool_switch_type>(-1), true), -7);
    EXPECT_EQ(mcu_bsp_cnc_output_dust_switch(false), -4);
    EXPECT_EQ(mcu_bsp_cnc_calib(), -4);
}

}  // namespace
