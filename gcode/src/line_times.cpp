// Per-line end times, kept as floats: four bytes a line, summed in double.
#include <algorithm>

#include "gcode/line_times.h"

namespace gcode {

void line_times::add(const segment& s)
{
    if (s.line == 0) return;
    sum_ += s.seconds;  // summed in double: a float sum drifts over a million lines
    if (s.line > ends_.size()) ends_.resize(size_t(s.line), ends_.empty() ? 0.0f : ends_.back());
    ends_[size_t(s.line - 1)] = float(sum_);
}

void line_times::close(uint64_t total)
{
    if (total > ends_.size()) ends_.resize(size_t(total), float(sum_));
    ends_.shrink_to_fit();
}

double line_times::at_line(uint64_t line) const
{
    if (line == 0 || ends_.empty()) return 0;
    return ends_[size_t(std::min<uint64_t>(line, ends_.size()) - 1)];
}

double line_times::remaining(uint64_t line, double elapsed) const
{
    double done = at_line(line), left = total_seconds() - done;
    if (left <= 0) return 0;
    // Too little done to judge the machine's pace: the plan as it is.
    if (done < 1.0 || elapsed <= 0) return left;
    return left * elapsed / done;
}

}  // namespace gcode
