// A whole program checked without a machine: lines, what cannot run, the
// extent of the motion and the time it takes.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "gcode/engine.h"

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

// The time at which each line's motion has ended, from the start of the
// program: built from the segments of a check, it turns the line a machine
// reports into the time left, scaled by how fast the machine has really gone.
class line_times {
public:
    void add(const segment& s);
    // Lines without motion up to total get the time of the last motion.
    void close(uint64_t total);
    double total_seconds() const { return sum_; }
    // Planned time by the end of line (1-based; 0 is the start).
    double at_line(uint64_t line) const;
    // Remaining time after line, given the seconds the machine took to get
    // there: the plan's remainder scaled by actual over planned time so far.
    // A board reports the line under way: the last one finished is the one before.
    double remaining(uint64_t line, double elapsed) const;
    size_t memory_bytes() const { return ends_.capacity() * sizeof(float); }

private:
    std::vector<float> ends_;   // ends_[k] is the time at the end of line k+1
    double sum_ = 0;
};

}  // namespace gcode
