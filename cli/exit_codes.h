// The program's exit codes, one per kind of failure, and the one place where
// the library's result codes turn into them.
#pragma once

#include <vector>

namespace rc {
constexpr int ok = 0;
constexpr int usage = 2;          // the command line is wrong
constexpr int no_board = 3;       // no board found, the chosen one is missing, or it cannot be reached
constexpr int link_lost = 4;      // the connection broke while a command or transfer was under way
constexpr int refused = 5;        // the board or the library refused or failed the operation
constexpr int verify = 6;         // what the board holds differs from what was written
constexpr int local_file = 7;     // a local file cannot be read or written, is empty, too large or text for its target
constexpr int alarm = 8;          // the machine raised an alarm during a job or command line
constexpr int program = 9;        // the program holds lines the machine cannot run, or is not text
constexpr int interrupted = 130;  // stopped with Ctrl-C

struct doc {
    int code;
    const char* text;
};
// Every code with a one-line description, in the order --help lists them.
const std::vector<doc>& all();
}  // namespace rc

// Maps a library result (0 or a negative code) to an exit code. A failed
// command counts as a lost link when the link is no longer up, else as a
// refusal: the library reports both as the same code.
int exit_for_result(int pelk_result, bool link_alive);
