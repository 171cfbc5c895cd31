// A program read, interpreted and planned in one pass without a machine.
// Lines that cannot run are listed and skipped; moves beyond the travel are
// listed and still made, so the rest of the program reads as it would run.
#include <algorithm>
#include <cmath>
#include <limits>

#include "gcode/check.h"
#include "gcode/reader.h"

namespace gcode {

check_report check_program(std::istream& in, const machine_settings& s, const check_options& o)
{
    check_report r;
    for (int i = 0; i < AXES; ++i) {
        r.min[i] = std::numeric_limits<double>::infinity();
        r.max[i] = -std::numeric_limits<double>::infinity();
    }
    engine e(s, [&](const segment& seg) {
        r.seconds += seg.seconds;
        ++r.segments;
        if (!is_pause(seg.kind)) {
            r.last_motion_line = seg.line;
            for (int i = 0; i < AXES; ++i) {
                if (seg.end[i] == seg.start[i] && !r.used[i]) continue;
                r.used[i] = true;
                r.min[i] = std::min({r.min[i], seg.start[i], seg.end[i]});
                r.max[i] = std::max({r.max[i], seg.start[i], seg.end[i]});
            }
        }
        if (o.on_segment) o.on_segment(seg);
    });
    e.interp().enforce_travel = false;
    reader rd(in);
    block b;
    auto note = [&](std::vector<finding>& list, uint64_t& count, const outcome& out) {
        ++count;
        if (list.size() < o.max_findings) list.push_back(finding{b.line, out.problem, out.word, out.why});
    };
    while (rd.next(b)) {
        if (e.interp().state().ended) continue;  // lines after M2 or M30 never run
        outcome out = e.run(b);
        if (out.problem == issue::not_text) r.not_text = true;
        if (out.problem == issue::travel) note(r.beyond_travel, r.beyond_travel_count, out);
        else if (!out.ok()) note(r.unsupported, r.unsupported_count, out);
        if (e.interp().state().inches) r.inches = true;
    }
    e.finish();
    r.lines = rd.lines();
    r.bytes = rd.bytes();
    for (int i = 0; i < AXES; ++i)
        if (!r.used[i]) r.min[i] = r.max[i] = 0;
    return r;
}

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
