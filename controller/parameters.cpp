// The controller's parameter table: store and load flash blocks, and move the
// active table to and from "param.txt" or a caller's buffer.
#include <cstdio>

#include "commands.h"
#include "board_state.h"
#include "param_file.h"
#include "trace.h"
#include "wire.h"
#include "vesk_platform.h"

namespace {

constexpr const char* PARAM_FILE = "param.txt";

int send_block_number(cnc::board& b, unsigned selector, uint32_t block)
{
    // The block number travels as one byte.
    unsigned char payload = static_cast<unsigned char>(block);
    return b.command(cmd::MACHINE, XFER_WRITE, selector, &payload, 1);
}

}  // namespace

int cnc::board::cnc_save_param(uint32_t block)
{
    pelk_trace("cnc save param to %d.\n", static_cast<int>(block));
    return send_block_number(*this, machine::SAVE_PARAM, block);
}

int cnc::board::cnc_load_param(uint32_t block)
{
    pelk_trace("cnc load param %d.\n", static_cast<int>(block));
    return send_block_number(*this, machine::LOAD_PARAM, block);
}

int cnc::board::cnc_write_param()
{
    pelk_trace("cnc write param.\n");
    std::FILE* f = vplat::open_file(PARAM_FILE, "rb");
    if (f == nullptr) return PELK_ERR_FILE;

    unsigned char table[PARAM_TABLE_BYTES];
    bool more = false;
    int count = read_param_values(f, table, &more);
    std::fclose(f);
    if (more)
        pelk_trace("cnc write param:%s holds more than %d values, only the first %d are sent.\n", PARAM_FILE,
                   PARAM_MAX_VALUES, PARAM_MAX_VALUES);
    return command(cmd::MACHINE, XFER_WRITE, machine::WRITE_PARAM, table, static_cast<unsigned short>(count * 4));
}

int cnc::board::cnc_read_param()
{
    pelk_trace("cnc read param.\n");
    unsigned char table[PARAM_TABLE_BYTES] = {};
    unsigned short got = 0;
    if (command(cmd::MACHINE, XFER_READ, machine::READ_PARAM, table, sizeof table, &got) != PELK_OK)
        return PELK_ERR_COMMAND;

    // The file is touched only after the table arrived.
    std::FILE* f = vplat::open_file(PARAM_FILE, "wb");
    if (f == nullptr) return PELK_ERR_FILE;
    bool written = true;
    for (int i = 0; i < got / 4; ++i)
        if (std::fprintf(f, "%f\n", static_cast<double>(wire::get_float(table + 4 * i))) < 0) written = false;
    // A short write (disk full) must not pass for a stored table.
    if (std::fclose(f) != 0) written = false;
    return written ? PELK_OK : PELK_ERR_FILE;
}

int cnc::board::cnc_write_param_from_buffer(uint8_t* data, uint16_t length)
{
    pelk_trace("cnc write param from buffer.\n");
    if (data == nullptr) length = 0;
    if (length > PARAM_TABLE_BYTES) {
        // The controller's table holds 512 values.
        pelk_trace("cnc write param from buffer:%d bytes given, only the first %d values are sent.\n", length,
                   PARAM_MAX_VALUES);
        length = PARAM_TABLE_BYTES;
    }
    return command(cmd::MACHINE, XFER_WRITE, machine::WRITE_PARAM, data, length);
}

int cnc::board::cnc_read_param_to_buffer(uint8_t* data, uint16_t capacity)
{
    pelk_trace("cnc read param to buffer.\n");
    if (data == nullptr) capacity = 0;
    // One frame at most: a longer read would be split with an advanced
    // argument, which here is a selector, not an offset.
    if (capacity > VESK_MAX_PAYLOAD) capacity = VESK_MAX_PAYLOAD;
    unsigned short got = 0;
    if (command(cmd::MACHINE, XFER_READ, machine::READ_PARAM, data, capacity, &got) != PELK_OK)
        return PELK_ERR_COMMAND;
    return got / 4;
}
