// Private: the concrete device class. It holds no state; every operation is
// the default board object's own (device.cpp).
#pragma once

#include "pelk_cnc.h"

class pelk final : public pelk_cnc {
public:
    int cnc_open_dev(char* machine_id, pelk_close_callback callback, void* ctx) override;
    int cnc_open_dev_index(int dev_id, pelk_close_callback callback, void* ctx) override;
    int cnc_close_dev() override;
    bool cnc_dev_state() override;
    int cnc_dev_poll(char* ids, char* count) override;

    int cnc_start_nc_file(uint32_t start_line, char* path, uint8_t check) override;
    int cnc_dev_stop() override;
    int cnc_dev_continue() override;
    int cnc_dev_reset() override;
    int cnc_dev_home() override;
    int cnc_parser(const char* line) override;
    int cnc_get_results(uint8_t* buffer, uint16_t capacity, uint16_t* length) override;
    int cnc_get_status(cnc_status* status) override;

    int cnc_save_param(uint32_t block) override;
    int cnc_write_param() override;
    int cnc_write_param_from_buffer(uint8_t* data, uint16_t length) override;
    int cnc_read_param() override;
    int cnc_read_param_to_buffer(uint8_t* data, uint16_t capacity) override;
    int cnc_load_param(uint32_t block) override;

    int cnc_write_user_data(uint8_t* data, uint32_t offset, uint32_t size) override;
    int cnc_read_user_data(uint8_t* data, uint32_t offset, uint32_t size) override;

    int cnc_ar_change_pad(uint8_t from_pad, uint8_t to_pad) override;
    int cnc_ar_cylinder(bool open) override;
    int cnc_ar_home() override;
    int cnc_ar_get_point(uint32_t* point) override;
    int cnc_ar_get_log(char* text, uint16_t length) override;
    int cnc_ar_get_version(int32_t* version) override;

    int cnc_rgb_set_state(uint8_t index, uint8_t state, uint32_t value) override;
};
