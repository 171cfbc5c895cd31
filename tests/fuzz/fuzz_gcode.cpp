// Program checking of arbitrary bytes: the whole input is read as a program
// and run through the interpreter and planner, once with the board's default
// settings and once with a look-ahead of 4 moves. Beyond not crashing or
// hanging, the report must agree with the input and with the segments it
// was built from: one line per line feed (and a last line without one),
// findings within those lines and no more kept than asked for, every segment
// finite with a non-negative duration, and the estimate their sum.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "gcode/check.h"

namespace {

void check(bool ok)
{
    if (!ok) std::abort();
}

void run(const std::string& text, const gcode::machine_settings& s, uint64_t lines)
{
    std::istringstream in(text);
    gcode::check_options o;
    o.max_findings = 4;
    uint64_t segments = 0;
    double seconds = 0;
    o.on_segment = [&](const gcode::segment& g) {
        ++segments;
        check(std::isfinite(g.seconds) && g.seconds >= 0);
        check(std::isfinite(g.length) && g.length >= 0);
        check(g.line >= 1 && g.line <= lines);
        for (int k = 0; k < gcode::AXES; ++k) check(std::isfinite(g.start[k]) && std::isfinite(g.end[k]));
        seconds += g.seconds;
    };
    gcode::check_report r = gcode::check_program(in, s, o);
    check(r.lines == lines);
    check(r.bytes == text.size());
    check(r.segments == segments);
    check(std::fabs(r.seconds - seconds) <= 1e-6 * (1 + seconds));
    check(r.unsupported.size() <= o.max_findings && r.unsupported.size() <= r.unsupported_count);
    check(r.beyond_travel.size() <= o.max_findings && r.beyond_travel.size() <= r.beyond_travel_count);
    for (const auto* list : {&r.unsupported, &r.beyond_travel})
        for (const gcode::finding& f : *list) check(f.line >= 1 && f.line <= lines);
    if (r.not_text) check(!r.runnable());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    uint64_t lines = 0;
    for (char c : text) lines += c == '\n';
    if (size > 0 && text.back() != '\n') ++lines;

    static const gcode::machine_settings defaults = gcode::machine_settings::defaults();
    static const gcode::machine_settings short_look = [] {
        gcode::machine_settings s = gcode::machine_settings::defaults();
        s.lookahead = 4;
        return s;
    }();
    run(text, defaults, lines);
    run(text, short_look, lines);
    return 0;
}
