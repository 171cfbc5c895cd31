// The machine status block shown the way the console shows it: run-state
// boxes with their captions, indicator boxes ticked by the console's rules,
// positions with six significant digits and the limit switches in binary.
#pragma once

#include <string>

#include "pelk.h"

std::string status_text(const cnc_status& st);
std::string status_json(const cnc_status& st);
// Names of the run-state bits that are set; "空闲" (idle) when none is.
std::string run_state_text(uint32_t run_state);
// One short line for following a job: line, run state and x, y, z.
std::string status_line(const cnc_status& st, uint32_t total_lines);
