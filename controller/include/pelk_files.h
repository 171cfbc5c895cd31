// Local files as the board sees them.
#pragma once

#include <cstdint>

#include "pelk_types.h"

// The checksum the board keeps for a stored file: the link's payload CRC-32
// over the file's bytes zero-padded to a multiple of 4, as transfers and NC
// starts compute it. PELK_OK with *crc set, or PELK_ERR_FILE when the file
// cannot be opened or read.
PELK_API int pelk_file_checksum(const char* path, uint32_t* crc);
