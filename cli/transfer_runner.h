// Runs one blocking library transfer on a worker thread while this thread
// shows the progress counter the library writes after every chunk.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct transfer_outcome {
    int result = 0;          // the library's result
    uint64_t bytes = 0;      // last value of the counter
    double seconds = 0;
    bool interrupted = false;  // Ctrl-C ended it after the chunk in flight
};

// work receives the counter to hand to the library; total 0 when unknown.
// Once catch_interrupt() is in force, Ctrl-C asks the library to end the
// transfer after its current chunk, and the outcome says it was interrupted.
transfer_outcome run_transfer(const std::string& label, uint64_t total,
                              const std::function<int(int32_t* counter)>& work);
