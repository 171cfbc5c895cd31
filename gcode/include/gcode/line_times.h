// Planned time per program line, for the time left while a machine runs it.
#pragma once

#include <cstdint>
#include <vector>

#include "gcode/segment.h"

namespace gcode {

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
