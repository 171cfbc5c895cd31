// The controller device object: link, machine control and status,
// parameters, user data, AR material changer and LED state.
//
// Callers use the operations through their position in the interface's
// virtual table, so the order below is fixed: new operations may only be
// appended, never inserted or reordered. The interface has no destructor
// through which an object could be deleted; an object from cnc_dev_register
// lives until the process ends. All objects share the library's one link.
#pragma once

#include <cstdint>

#include "pelk_types.h"

class PELK_API pelk_cnc {
public:
    pelk_cnc();
    pelk_cnc(const pelk_cnc&);
    pelk_cnc(pelk_cnc&&);
    pelk_cnc& operator=(const pelk_cnc&);
    pelk_cnc& operator=(pelk_cnc&&);

    // Link.
    virtual int cnc_open_dev(char* machine_id, pelk_close_callback callback, void* ctx) = 0;
    virtual int cnc_open_dev_index(int dev_id, pelk_close_callback callback, void* ctx) = 0;
    virtual int cnc_close_dev() = 0;
    virtual bool cnc_dev_state() = 0;
    // Discovery: 12-byte ids of the boards found, and their number. Returns
    // the link's own code (0 found, 2 none).
    virtual int cnc_dev_poll(char* ids, char* count) = 0;

    // NC program and machine control.
    virtual int cnc_start_nc_file(uint32_t start_line, char* path, uint8_t check) = 0;
    virtual int cnc_dev_stop() = 0;
    virtual int cnc_dev_continue() = 0;
    virtual int cnc_dev_reset() = 0;
    virtual int cnc_dev_home() = 0;
    virtual int cnc_parser(const char* line) = 0;
    virtual int cnc_get_results(uint8_t* buffer, uint16_t capacity, uint16_t* length) = 0;
    virtual int cnc_get_status(cnc_status* status) = 0;

    // Parameter table, flash blocks and "param.txt".
    virtual int cnc_save_param(uint32_t block) = 0;
    virtual int cnc_write_param() = 0;
    virtual int cnc_write_param_from_buffer(uint8_t* data, uint16_t length) = 0;
    virtual int cnc_read_param() = 0;
    // Returns the number of whole values received.
    virtual int cnc_read_param_to_buffer(uint8_t* data, uint16_t capacity) = 0;
    virtual int cnc_load_param(uint32_t block) = 0;

    // User-data area.
    virtual int cnc_write_user_data(uint8_t* data, uint32_t offset, uint32_t size) = 0;
    virtual int cnc_read_user_data(uint8_t* data, uint32_t offset, uint32_t size) = 0;

    // AR material changer.
    virtual int cnc_ar_change_pad(uint8_t from_pad, uint8_t to_pad) = 0;
    virtual int cnc_ar_cylinder(bool open) = 0;
    virtual int cnc_ar_home() = 0;
    virtual int cnc_ar_get_point(uint32_t* point) = 0;
    virtual int cnc_ar_get_log(char* text, uint16_t length) = 0;
    virtual int cnc_ar_get_version(int32_t* version) = 0;

    // LED state.
    virtual int cnc_rgb_set_state(uint8_t index, uint8_t state, uint32_t value) = 0;
};

// A new device object, or null when it cannot be allocated.
extern "C" PELK_API pelk_cnc* cnc_dev_register();
