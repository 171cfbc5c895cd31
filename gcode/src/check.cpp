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

}  // namespace gcode
