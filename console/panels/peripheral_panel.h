// The board peripherals: RGB strip, status LED, LED ranges, colour slots,
// buzzer, tool-change and dust outputs.
#pragma once

struct console_context;

class peripheral_panel {
public:
    explicit peripheral_panel(console_context& ctx);

    int mcu_set_rgb_fh(int rgb);
    int mcu_set_rgb_bh(int rgb);
    int mcu_set_rgb_progress(int p);
    int mcu_set_rgb_led();
    int mcu_set_led(int p);
    int mcu_set_led_rgb();
    int mcu_set_rgb_progress_value();
    int mcu_set_rgb_fh_value();
    int mcu_set_rgb_bh_value();
    int mcu_set_buzzer_duty(int buzzer);
    int mcu_set_buzzer_period();
    int mcu_set_output_tool_change_switch_open();
    int mcu_set_output_tool_change_switch_close();
    int mcu_set_output_dust_switch_open();
    int mcu_set_output_dust_switch_close();
    void cnc_rgb_select_color();

private:
    console_context& ctx;
};
