// Checking an NC program before it reaches a machine: the machine's settings
// (defaults, the board's own, --setting on top), the check itself, and the
// findings and figures printed for people.
#pragma once

#include <cstdint>
#include <string>

#include "args.h"
#include "gcode/check.h"
#include "session.h"

// Findings and lists printed before the rest is summed up as "... and K more".
constexpr size_t SHOWN_FINDINGS = 20;

// The defaults, replaced by the connected board's settings when ask_board
// and the board answers "$$" with them, then the --setting items. An exit
// code; a board that gives no settings only earns a note.
int machine_settings_for(session& s, const options& o, bool ask_board, gcode::machine_settings& out);

struct program_check {
    gcode::check_report report;
    gcode::line_times times;   // filled when asked for
    uint64_t binary_line = 0;  // first line with binary data, when not_text
};

// Checks the program in path; an exit code (local_file when it cannot be read).
int check_file(const std::string& path, const gcode::machine_settings& settings, bool with_times,
               program_check& out);

// "h:mm:ss" for a number of seconds.
std::string format_duration(double seconds);
// "line N: WORD: why" lines for the first findings of a list, and "... and K more".
void print_findings(FILE* to, const char* indent, const std::vector<gcode::finding>& list, uint64_t count,
                    size_t shown = SHOWN_FINDINGS);
