// Private: the chunked file transfer behind every flash, SD card, drive
// update and NC download, and the file checksum that guards SD and NC files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cnc_board.h"
#include "pelk_types.h"

// Bytes of the name fields carried to the board (file_name, SD name block).
constexpr size_t TRANSFER_NAME_FIELD = 256;
// Largest chunk any transfer sends; the one buffer each transfer uses.
constexpr size_t TRANSFER_CHUNK_MAX = 8192;

// CRC of the file's bytes zero-padded to a multiple of 4, read in 8192-byte
// blocks. 0 with *out set, PELK_ERR_FILE when the file cannot be read.
int get_nc_file_check(const char* path, uint32_t* out);

// Sends the local file msg->file_name to the board (op 4) or reads at most
// msg->size bytes from it into that file (any other op), chunk by chunk with
// the command and chunk size msg->target selects. 0, PELK_ERR_FILE,
// PELK_ERR_EMPTY or PELK_ERR_TRANSFER.
int mcu_update_flash(cnc::board& b, _flash_msg* msg);

// True when the 256-byte name field holds a terminating zero byte, so it can
// be used as a string and sent whole without reading past its end.
inline bool name_field_terminated(const char* field)
{
    for (size_t i = 0; i < TRANSFER_NAME_FIELD; ++i)
        if (field[i] == '\0') return true;
    return false;
}
