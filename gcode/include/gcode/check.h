// A whole program checked without a machine: lines, what cannot run, the
// extent of the motion and the time it takes.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "gcode/engine.h"
#include "gcode/line_times.h"

namespace gcode {

struct finding {
    uint64_t line = 0;
    issue kind = issue::none;
    std::string word;
    std::string text;   // why
};

struct check_report {
    uint64_t lines = 0;
    uint64_t bytes = 0;
    std::vector<finding> unsupported;   // the first ones: everything that stops a job but travel
    uint64_t unsupported_count = 0;
    std::vector<finding> beyond_travel; // the first moves beyond the travel
    uint64_t beyond_travel_count = 0;
    bool not_text = false;              // binary bytes were found
    axes min{}, max{};                  // machine coordinates reached, where used
    std::array<bool, AXES> used{};
    bool inches = false;                // the program worked in inches at some point
    double seconds = 0;                 // estimated duration
    uint64_t segments = 0;
    uint64_t last_motion_line = 0;
    bool runnable() const { return unsupported_count == 0 && beyond_travel_count == 0 && !not_text; }
};

struct check_options {
    size_t max_findings = 20;
    // Each segment as it is planned (a preview, per-line times).
    planner::sink on_segment;
};

check_report check_program(std::istream& in, const machine_settings& s, const check_options& o = {});

}  // namespace gcode
