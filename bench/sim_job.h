// One NC job on a fresh in-process simulated board, reached over loopback
// through the link library and timed from the start block until the board
// reports the job ended. The board starts at machine zero, as a check does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "board_sim.h"

struct job_options {
    double time_scale = 1;   // planned seconds per second
    double slowdown = 1;     // fraction of the planned speed the machine reaches
    double timeout = 60;     // wall seconds before giving up
    // Called at every poll with the machine and the running wall seconds so far.
    std::function<void(const bsim::machine_view&, double)> watch;
};

struct job_timing {
    std::string why;     // empty when the job ran to its end
    double running = 0;  // wall seconds from the start block to the end, pauses left out
    double paused = 0;   // wall seconds spent stopped at M0 until continued
    int stops = 0;       // M0 stops continued
};

// Runs the program in path, lines long, as job "bench_N.nc". M0 stops are
// continued at once and their time is left out.
job_timing run_job(const std::string& path, uint64_t lines, const job_options& o);
