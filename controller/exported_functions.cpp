// The exported board functions: each is the default board object's own.
#include "cnc_board.h"
#include "pelk_board.h"

int mcu_bsp_get_version(unsigned int* version) { return cnc::default_board().mcu_bsp_get_version(version); }

int mcu_bsp_get_mcu_id(unsigned char* id, unsigned char len) { return cnc::default_board().mcu_bsp_get_mcu_id(id, len); }

int mcu_bsp_key(unsigned char key, unsigned char* state) { return cnc::default_board().mcu_bsp_key(key, state); }

int mcu_bsp_fram(unsigned char write, unsigned int addr, unsigned char* data, unsigned short len) { return cnc::default_board().mcu_bsp_fram(write, addr, data, len); }

int mcu_bsp_led_rgb(unsigned char r, unsigned char g, unsigned char b) { return cnc::default_board().mcu_bsp_led_rgb(r, g, b); }

int mcu_bsp_rgb_fh(unsigned short value) { return cnc::default_board().mcu_bsp_rgb_fh(value); }

int mcu_bsp_rgb_bh(unsigned short value) { return cnc::default_board().mcu_bsp_rgb_bh(value); }

int mcu_bsp_rgb_progress(unsigned char progress) { return cnc::default_board().mcu_bsp_rgb_progress(progress); }

int mcu_bsp_rgb_led(unsigned char start, unsigned char num, unsigned short* colors) { return cnc::default_board().mcu_bsp_rgb_led(start, num, colors); }

int mcu_bsp_buzzer_duty(unsigned char duty) { return cnc::default_board().mcu_bsp_buzzer_duty(duty); }

int mcu_bsp_buzzer_period(unsigned int period) { return cnc::default_board().mcu_bsp_buzzer_period(period); }

int mcu_bsp_cnc_output_tool_switch(tool_switch_type which, bool on) { return cnc::default_board().mcu_bsp_cnc_output_tool_switch(which, on); }

int mcu_bsp_cnc_output_dust_switch(bool on) { return cnc::default_board().mcu_bsp_cnc_output_dust_switch(on); }

int mcu_bsp_cnc_calib() { return cnc::default_board().mcu_bsp_cnc_calib(); }

int mcu_bsp_fpga_flash(_flash_msg* msg) { return cnc::default_board().mcu_bsp_fpga_flash(msg); }

int mcu_bsp_fpga_reset() { return cnc::default_board().mcu_bsp_fpga_reset(); }

int mcu_bsp_update_app(_flash_msg* msg) { return cnc::default_board().mcu_bsp_update_app(msg); }

int mcu_bsp_sdcard(_flash_msg* msg) { return cnc::default_board().mcu_bsp_sdcard(msg); }

int mcu_bsp_update_spindle(_flash_msg* msg) { return cnc::default_board().mcu_bsp_update_spindle(msg); }

int mcu_bsp_update_dc(_flash_msg* msg) { return cnc::default_board().mcu_bsp_update_dc(msg); }

int mcu_bsp_transfer_stop(int stop) { return cnc::default_board().mcu_bsp_transfer_stop(stop); }

int mcu_bsp_read_progress(int* value) { return cnc::default_board().mcu_bsp_read_progress(value); }

int mcu_bsp_update_app_from_sd(const char* name, unsigned short len) { return cnc::default_board().mcu_bsp_update_app_from_sd(name, len); }

int mcu_bsp_update_boot_from_sd(const char* name, unsigned short len) { return cnc::default_board().mcu_bsp_update_boot_from_sd(name, len); }

int mcu_bsp_update_dc_from_sd(const char* name, unsigned short len) { return cnc::default_board().mcu_bsp_update_dc_from_sd(name, len); }

int mcu_bsp_update_rups_from_sd(const char* name, unsigned short len) { return cnc::default_board().mcu_bsp_update_rups_from_sd(name, len); }
