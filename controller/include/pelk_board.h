// Exported board functions: identity, keys, FRAM, status LED, RGB strip,
// buzzer, machine outputs, flash and firmware transfers, SD card files.
// Every function sends through the library's one link, which a device object
// (pelk_cnc.h) opens; without it they return PELK_ERR_COMMAND.
#pragma once

#include "pelk_types.h"

extern "C" {

// Firmware version, 4 bytes.
PELK_API int mcu_bsp_get_version(unsigned int* version);
// Board identifier: the first min(len, 12) of its 12 bytes.
PELK_API int mcu_bsp_get_mcu_id(unsigned char* id, unsigned char len);
PELK_API int mcu_bsp_key(unsigned char key, unsigned char* state);
// Writes len bytes to the FRAM at addr when write is nonzero, else reads them.
PELK_API int mcu_bsp_fram(unsigned char write, unsigned int addr, unsigned char* data, unsigned short len);
// Status LED in percent per colour; values above 100 are sent as 100.
PELK_API int mcu_bsp_led_rgb(unsigned char r, unsigned char g, unsigned char b);
PELK_API int mcu_bsp_rgb_fh(unsigned short value);
PELK_API int mcu_bsp_rgb_bh(unsigned short value);
// Progress display, 0 to 100.
PELK_API int mcu_bsp_rgb_progress(unsigned char progress);
// num colour values for the strip LEDs start .. start + num - 1 (of 48).
PELK_API int mcu_bsp_rgb_led(unsigned char start, unsigned char num, unsigned short* colors);
PELK_API int mcu_bsp_buzzer_duty(unsigned char duty);
PELK_API int mcu_bsp_buzzer_period(unsigned int period);
PELK_API int mcu_bsp_cnc_output_tool_switch(tool_switch_type which, bool on);
PELK_API int mcu_bsp_cnc_output_dust_switch(bool on);
PELK_API int mcu_bsp_cnc_calib();

// FPGA configuration flash: op 4 erase and program, 5 read back, 6 erase.
PELK_API int mcu_bsp_fpga_flash(_flash_msg* msg);
PELK_API int mcu_bsp_fpga_reset();
// MCU application: op 4 write, 6 erase; 5 is refused with PELK_ERR_REFUSED.
PELK_API int mcu_bsp_update_app(_flash_msg* msg);

// One SD card operation chosen by msg->op (1 create, 2 open, 3 close,
// 4 write, 5 read, 6 erase, 7 size, 8 checksum, 9 format).
PELK_API int mcu_bsp_sdcard(_flash_msg* msg);
// Write a drive firmware file to the SD card and start the drive's update.
PELK_API int mcu_bsp_update_spindle(_flash_msg* msg);
PELK_API int mcu_bsp_update_dc(_flash_msg* msg);
// Asks the chunked transfer under way (flash, application, SD card file,
// drive staging) to end after the chunk now in flight, from any thread: the
// transfer then fails with PELK_ERR_COMMAND and leaves what it wrote. stop 0
// withdraws a request no transfer has taken yet. Always PELK_OK.
PELK_API int mcu_bsp_transfer_stop(int stop);
// The board's progress of an update started from the SD card.
PELK_API int mcu_bsp_read_progress(int* value);
// Write the local file name (its first len bytes) to the SD card and start an
// update from it.
PELK_API int mcu_bsp_update_app_from_sd(const char* name, unsigned short len);
PELK_API int mcu_bsp_update_boot_from_sd(const char* name, unsigned short len);
PELK_API int mcu_bsp_update_dc_from_sd(const char* name, unsigned short len);
PELK_API int mcu_bsp_update_rups_from_sd(const char* name, unsigned short len);

}  // extern "C"
