// The request record the board worker hands to its job thread: a flash or
// file transfer, or an NC job, both for the worker's board. Submitters start
// from an all-zero record.
#pragma once

#include <cstdint>

#include "pelk_types.h"

enum task_type : int32_t {
    TASK_FLASH = 0,
    TASK_CNC = 2,
};

// Body of an NC job; it shares its storage with the transfer record.
struct cnc_task_body {
    uint32_t type;        // 0: run an NC file, the only kind
    uint8_t check;        // nonzero: compare with the SD copy by checksum, else by size
    uint32_t start_line;
    char file_name[300];  // NUL-terminated path in the local 8-bit code page
};

constexpr uint32_t CNC_TASK_RUN_FILE = 0;

struct task_request {
    int32_t type;
    union {
        _flash_msg flash;
        cnc_task_body cnc;
    };
};

// Copies path (already in the local 8-bit code page) into a fixed file-name
// field with its terminator. False, leaving the field untouched, when it does
// not fit: a longer path must be refused, never cut or overrun.
template <std::size_t N>
bool set_task_file_name(char (&field)[N], const char* path, std::size_t len)
{
    if (len + 1 > N) return false;
    for (std::size_t i = 0; i < len; ++i) field[i] = path[i];
    field[len] = '\0';
    return true;
}
