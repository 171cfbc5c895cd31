// Private: the machine status block as it comes off the wire.
#pragma once

#include <cstddef>

#include "pelk_types.h"

// Bytes of the status block the status read asks for.
constexpr size_t STATUS_BLOCK_SIZE = 272;

// Copies every field of the STATUS_BLOCK_SIZE-byte block into the record.
// Leaves the bytes of job_name beyond the block's name length as they were
// and never adds a terminating zero; a name length beyond the field copies
// only what the field holds.
void decode_status_block(const unsigned char* block, cnc_status* status);
