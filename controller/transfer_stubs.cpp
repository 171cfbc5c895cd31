// Flash, firmware and SD card transfers are not built yet: each exported
// entry point fails without sending anything, so callers see a failed command.
#include "pelk_board.h"

int mcu_bsp_fpga_flash(_flash_msg*) { return PELK_ERR_COMMAND; }
int mcu_bsp_fpga_reset() { return PELK_ERR_COMMAND; }
int mcu_bsp_update_app(_flash_msg*) { return PELK_ERR_COMMAND; }
int mcu_bsp_sdcard(_flash_msg*) { return PELK_ERR_COMMAND; }
int mcu_bsp_update_spindle(_flash_msg*) { return PELK_ERR_COMMAND; }
int mcu_bsp_update_dc(_flash_msg*) { return PELK_ERR_COMMAND; }
int mcu_bsp_read_progress(int*) { return PELK_ERR_COMMAND; }
int mcu_bsp_update_app_from_sd(const char*, unsigned short) { return PELK_ERR_COMMAND; }
int mcu_bsp_update_boot_from_sd(const char*, unsigned short) { return PELK_ERR_COMMAND; }
int mcu_bsp_update_dc_from_sd(const char*, unsigned short) { return PELK_ERR_COMMAND; }
int mcu_bsp_update_rups_from_sd(const char*, unsigned short) { return PELK_ERR_COMMAND; }
