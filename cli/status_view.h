// The machine status block in English: run-state names, inputs ticked when
// active (the same rule in text and JSON), positions with six significant
// digits, the limit switches in binary and the alarm with its meaning.
#pragma once

#include <string>

#include "pelk.h"

std::string status_text(const cnc_status& st);
std::string status_json(const cnc_status& st);
// Names of the run-state bits that are set; "idle" when none is.
std::string run_state_text(uint32_t run_state);
// What an alarm means and what to do about it; empty for 0 (no alarm).
std::string alarm_text(uint32_t code);
// One short line for following a job: line, run state and x, y, z.
std::string status_line(const cnc_status& st, uint32_t total_lines);
