// --record FILE: one JSON line per board and operation, appended, so that a
// factory line keeps what went to which board and how it ended.
#pragma once

#include <chrono>
#include <string>

#include "commands.h"

struct record_context {
    bool active = false;
    std::string time;          // ISO 8601 UTC, when the operation began
    std::string board_id;      // hex, empty when unknown
    std::string before;        // versions as a JSON object, or null
    std::chrono::steady_clock::time_point start;
};

// Reads what the board runs before the command (when --record is given and
// the command keeps records). Call once the board is connected.
record_context record_begin(session& s, const options& o, const command_spec& c);
// Appends the line for the command's end; returns code, or the local-file
// code when a successful command's line cannot be written.
int record_end(record_context& r, session& s, const options& o, const command_spec& c, const args_list& args,
               int code);
