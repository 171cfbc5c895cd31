// The device interface's special members and the factory.
#include <cstring>
#include <new>

#include "cnc_board.h"
#include "device.h"

pelk_cnc::pelk_cnc() = default;
pelk_cnc::pelk_cnc(const pelk_cnc&) = default;
pelk_cnc::pelk_cnc(pelk_cnc&&) = default;
pelk_cnc& pelk_cnc::operator=(const pelk_cnc&) = default;
pelk_cnc& pelk_cnc::operator=(pelk_cnc&&) = default;

pelk_cnc* cnc_dev_register()
{
    // The object is zero-filled before its interface is installed. The
    // library never frees it: the interface has no destructor.
    void* mem = ::operator new(sizeof(pelk), std::nothrow);
    if (mem == nullptr) return nullptr;
    std::memset(mem, 0, sizeof(pelk));
    return new (mem) pelk;
}

// Every device object acts on the library's default board object.
int pelk::cnc_open_dev(char* machine_id, pelk_close_callback callback, void* ctx) { return cnc::default_board().cnc_open_dev(machine_id, callback, ctx); }

int pelk::cnc_open_dev_index(int dev_id, pelk_close_callback callback, void* ctx) { return cnc::default_board().cnc_open_dev_index(dev_id, callback, ctx); }

int pelk::cnc_close_dev() { return cnc::default_board().cnc_close_dev(); }

bool pelk::cnc_dev_state() { return cnc::default_board().cnc_dev_state(); }

int pelk::cnc_dev_poll(char* ids, char* count) { return cnc::default_board().cnc_dev_poll(ids, count); }

int pelk::cnc_start_nc_file(uint32_t start_line, char* path, uint8_t check) { return cnc::default_board().cnc_start_nc_file(start_line, path, check); }

int pelk::cnc_dev_stop() { return cnc::default_board().cnc_dev_stop(); }

int pelk::cnc_dev_continue() { return cnc::default_board().cnc_dev_continue(); }

int pelk::cnc_dev_reset() { return cnc::default_board().cnc_dev_reset(); }

int pelk::cnc_dev_home() { return cnc::default_board().cnc_dev_home(); }

int pelk::cnc_parser(const char* line) { return cnc::default_board().cnc_parser(line); }

int pelk::cnc_get_results(uint8_t* buffer, uint16_t capacity, uint16_t* length) { return cnc::default_board().cnc_get_results(buffer, capacity, length); }

int pelk::cnc_get_status(cnc_status* status) { return cnc::default_board().cnc_get_status(status); }

int pelk::cnc_save_param(uint32_t block) { return cnc::default_board().cnc_save_param(block); }

int pelk::cnc_write_param() { return cnc::default_board().cnc_write_param(); }

int pelk::cnc_write_param_from_buffer(uint8_t* data, uint16_t length) { return cnc::default_board().cnc_write_param_from_buffer(data, length); }

int pelk::cnc_read_param() { return cnc::default_board().cnc_read_param(); }

int pelk::cnc_read_param_to_buffer(uint8_t* data, uint16_t capacity) { return cnc::default_board().cnc_read_param_to_buffer(data, capacity); }

int pelk::cnc_load_param(uint32_t block) { return cnc::default_board().cnc_load_param(block); }

int pelk::cnc_write_user_data(uint8_t* data, uint32_t offset, uint32_t size) { return cnc::default_board().cnc_write_user_data(data, offset, size); }

int pelk::cnc_read_user_data(uint8_t* data, uint32_t offset, uint32_t size) { return cnc::default_board().cnc_read_user_data(data, offset, size); }

int pelk::cnc_ar_change_pad(uint8_t from_pad, uint8_t to_pad) { return cnc::default_board().cnc_ar_change_pad(from_pad, to_pad); }

int pelk::cnc_ar_cylinder(bool open) { return cnc::default_board().cnc_ar_cylinder(open); }

int pelk::cnc_ar_home() { return cnc::default_board().cnc_ar_home(); }

int pelk::cnc_ar_get_point(uint32_t* point) { return cnc::default_board().cnc_ar_get_point(point); }

int pelk::cnc_ar_get_log(char* text, uint16_t length) { return cnc::default_board().cnc_ar_get_log(text, length); }

int pelk::cnc_ar_get_version(int32_t* version) { return cnc::default_board().cnc_ar_get_version(version); }

int pelk::cnc_rgb_set_state(uint8_t index, uint8_t state, uint32_t value) { return cnc::default_board().cnc_rgb_set_state(index, state, value); }
