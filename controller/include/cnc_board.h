// One controller board as an object: its own connection through a transport,
// and every board function and device operation of the library as an
// operation of the object. Several board objects work at once, each on its
// own connection; each may be used from several threads (frames interleave,
// whole exchanges never do). The exported functions and the device object
// act on one default board object of the library.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "pelk_transport.h"
#include "pelk_types.h"

namespace cnc {

// Bytes done and bytes in all, after each chunk of a transfer.
using transfer_observer = std::function<void(uint64_t done, uint64_t total)>;

class PELK_API board {
public:
    // A board on an Ethernet link of its own.
    board();
    explicit board(std::unique_ptr<transport> link);
    ~board();
    board(const board&) = delete;
    board& operator=(const board&) = delete;

    transport& link();

    // Link: open by machine id, by the last poll's number or by address;
    // close, liveness, discovery and the address of a discovered board.
    int cnc_open_dev(char* machine_id, pelk_close_callback callback, void* ctx);
    int cnc_open_dev_index(int dev_id, pelk_close_callback callback, void* ctx);
    int cnc_open_dev_address(const char* ipv4, pelk_close_callback callback, void* ctx);
    int cnc_close_dev();
    bool cnc_dev_state();
    int cnc_dev_poll(char* ids, char* count);
    int cnc_dev_address(int dev_id, char* ipv4, int capacity);

    // One raw command: PELK_OK, or PELK_ERR_COMMAND for any link failure.
    int command(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data, unsigned short len,
                unsigned short* out_len = nullptr);

    // Board functions (the same arguments and results as the exported ones).
    int mcu_bsp_get_version(unsigned int* version);
    int mcu_bsp_get_mcu_id(unsigned char* id, unsigned char len);
    int mcu_bsp_key(unsigned char key, unsigned char* state);
    int mcu_bsp_fram(unsigned char write, unsigned int addr, unsigned char* data, unsigned short len);
    int mcu_bsp_led_rgb(unsigned char r, unsigned char g, unsigned char b);
    int mcu_bsp_rgb_fh(unsigned short value);
    int mcu_bsp_rgb_bh(unsigned short value);
    int mcu_bsp_rgb_progress(unsigned char progress);
    int mcu_bsp_rgb_led(unsigned char start, unsigned char num, unsigned short* colors);
    int mcu_bsp_buzzer_duty(unsigned char duty);
    int mcu_bsp_buzzer_period(unsigned int period);
    int mcu_bsp_cnc_output_tool_switch(tool_switch_type which, bool on);
    int mcu_bsp_cnc_output_dust_switch(bool on);
    int mcu_bsp_cnc_calib();
    int mcu_bsp_fpga_flash(_flash_msg* msg);
    int mcu_bsp_fpga_reset();
    int mcu_bsp_update_app(_flash_msg* msg);
    int mcu_bsp_sdcard(_flash_msg* msg);
    int mcu_bsp_update_spindle(_flash_msg* msg);
    int mcu_bsp_update_dc(_flash_msg* msg);
    // Asks this board's transfer under way to end after its current chunk.
    int mcu_bsp_transfer_stop(int stop);
    int mcu_bsp_read_progress(int* value);
    int mcu_bsp_update_app_from_sd(const char* name, unsigned short len);
    int mcu_bsp_update_boot_from_sd(const char* name, unsigned short len);
    int mcu_bsp_update_dc_from_sd(const char* name, unsigned short len);
    int mcu_bsp_update_rups_from_sd(const char* name, unsigned short len);

    // Device operations (the same arguments and results as the device object's).
    int cnc_start_nc_file(uint32_t start_line, char* path, uint8_t check);
    int cnc_dev_stop();
    int cnc_dev_continue();
    int cnc_dev_reset();
    int cnc_dev_home();
    int cnc_parser(const char* line);
    int cnc_get_results(uint8_t* buffer, uint16_t capacity, uint16_t* length);
    int cnc_get_status(cnc_status* status);
    int cnc_save_param(uint32_t block);
    int cnc_write_param();
    int cnc_write_param_from_buffer(uint8_t* data, uint16_t length);
    int cnc_read_param();
    int cnc_read_param_to_buffer(uint8_t* data, uint16_t capacity);
    int cnc_load_param(uint32_t block);
    int cnc_write_user_data(uint8_t* data, uint32_t offset, uint32_t size);
    int cnc_read_user_data(uint8_t* data, uint32_t offset, uint32_t size);
    int cnc_ar_change_pad(uint8_t from_pad, uint8_t to_pad);
    int cnc_ar_cylinder(bool open);
    int cnc_ar_home();
    int cnc_ar_get_point(uint32_t* point);
    int cnc_ar_get_log(char* text, uint16_t length);
    int cnc_ar_get_version(int32_t* version);
    int cnc_rgb_set_state(uint8_t index, uint8_t state, uint32_t value);

    // Called after every chunk of this board's transfers (flash, application,
    // SD card files, drive staging, NC downloads), on the transferring thread.
    // Set it while no transfer of this board runs; an empty one clears it.
    void observe_transfers(transfer_observer observer);

    struct state;
    state& internals();

private:
    std::unique_ptr<state> s;
};

// The library's own board object: the one behind the exported functions and
// every device object from cnc_dev_register.
PELK_API board& default_board();

}  // namespace cnc
