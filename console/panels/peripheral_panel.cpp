#include "peripheral_panel.h"

#include "console_context.h"

peripheral_panel::peripheral_panel(console_context& ctx) : ctx(ctx) {}

int peripheral_panel::mcu_set_rgb_fh(int) { return 0; }
int peripheral_panel::mcu_set_rgb_bh(int) { return 0; }
int peripheral_panel::mcu_set_rgb_progress(int) { return 0; }
int peripheral_panel::mcu_set_rgb_led() { return 0; }
int peripheral_panel::mcu_set_led(int) { return 0; }
int peripheral_panel::mcu_set_led_rgb() { return 0; }
int peripheral_panel::mcu_set_rgb_progress_value() { return 0; }
int peripheral_panel::mcu_set_rgb_fh_value() { return 0; }
int peripheral_panel::mcu_set_rgb_bh_value() { return 0; }
int peripheral_panel::mcu_set_buzzer_duty(int) { return 0; }
int peripheral_panel::mcu_set_buzzer_period() { return 0; }
int peripheral_panel::mcu_set_output_tool_change_switch_open() { return 0; }
int peripheral_panel::mcu_set_output_tool_change_switch_close() { return 0; }
int peripheral_panel::mcu_set_output_dust_switch_open() { return 0; }
int peripheral_panel::mcu_set_output_dust_switch_close() { return 0; }
void peripheral_panel::cnc_rgb_select_color() {}
