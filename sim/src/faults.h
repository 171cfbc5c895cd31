// Turning a reply into what actually goes on the wire, with the configured,
// armed and reserved-argument faults applied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "impl.h"

namespace bsim {

struct send_plan {
    std::vector<uint8_t> bytes;
    int delay_ms = 0;
    bool one_byte_at_a_time = false;
    bool silent = false;           // send nothing
    bool close_before = false;     // close instead of answering
    size_t cut_at = SIZE_MAX;      // close after this many bytes
    bool close_after = false;
    std::string note;              // what was done to the reply, for the trace
};

// Fills p anew (keeping the storage of its bytes); frame_no counts the
// frames of this connection from 1. Lock held.
void plan_reply(board::impl& b, const request& r, const std::vector<uint8_t>& payload, uint64_t frame_no,
                send_plan& p);

// The data a write stores: the request's payload, or with corrupt_writes a
// copy in scratch whose first byte is inverted when the chunk is at offset 0.
const std::vector<uint8_t>& stored_data(const board::impl& b, const request& r, std::vector<uint8_t>& scratch);

// The frame sent unasked when unsolicited_after_ms is set.
std::vector<uint8_t> unsolicited_frame();

}  // namespace bsim
