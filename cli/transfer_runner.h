// Runs one blocking transfer of the session's board on a worker thread while
// the calling thread shows its progress, fed by the board's transfer observer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cnc_board.h"

class session;

struct transfer_outcome {
    int result = 0;          // the library's result
    uint64_t bytes = 0;      // bytes done at the last chunk
    double seconds = 0;
    bool interrupted = false;  // Ctrl-C ended it after the chunk in flight
};

// work runs the transfer, reporting its chunks to the observer it is given;
// total 0 when unknown. Once catch_interrupt() is in force, Ctrl-C asks the
// session's board to end the transfer after its current chunk, and the
// outcome says it was interrupted.
transfer_outcome run_observed(session& s, const std::string& label, uint64_t total,
                              const std::function<int(const cnc::transfer_observer&)>& work);

// The transfer msg asks for (cnc::run_transfer), shown under label.
transfer_outcome run_transfer(session& s, const std::string& label, uint64_t total, _flash_msg& msg);
