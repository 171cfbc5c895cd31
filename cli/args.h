// The command line: global options, the command words and their arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct options {
    // Board choice.
    std::string id;          // --id: machine id reported by discovery
    int index = -1;          // --index: position in the discovery list
    bool use_static = false; // --static: the fixed default address
    bool all = false;        // --all: every discovered board, several at once
    unsigned jobs = 0;       // --jobs: at most this many boards at once with --all; 0: all of them
    std::string address;     // --address: the board at this IPv4 address (discovered or not)
    bool discover_wait_set = false;
    uint32_t discover_wait_ms = 0;  // --discover-timeout: keep asking this long
    std::string as;          // sd put --as: the name on the card
    bool truncate = false;   // userdata set id --truncate: cut an over-long identifier

    bool json = false;
    bool verify = true;      // --no-verify clears it
    bool watch = false;      // status --watch
    bool check = false;      // run --check: compare by checksum, not size
    bool force = false;      // run --force: run a program the check finds faults in
    bool continue_at_stops = false;  // run --continue-at-stops: continue after M0
    bool yes = false;        // answers yes to confirmations (sd format)
    bool verbose = false;    // library traces to standard error
    bool help = false;
    bool version = false;
    bool from_set = false;
    uint32_t from_line = 0;  // run --from
    bool size_set = false;
    uint32_t size = 0;       // read sizes
    std::vector<std::string> settings;  // --setting KEY=VALUE, in order
    bool capacity_set = false;
    uint64_t capacity = 0;   // --capacity: what the target holds, for boards not in the table
    std::string record;      // --record FILE: one JSON line per board and operation
    bool skip_same = false;  // --skip-same: leave a target that holds the same image

    std::vector<std::string> words;  // command words and arguments, in order
    // Option names seen (without dashes), for per-command checks.
    std::vector<std::string> seen;

    bool has(const std::string& name) const;
};

// False with why set when the command line cannot be read.
bool parse_args(int argc, char** argv, options& out, std::string& why);
