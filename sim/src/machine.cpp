// Command lines (48/3) through the machine's G-code engine: the motion of a
// line is applied at once, its run-state bits stay set for a short while.
// The "$" settings ($cr<n>=<v> colour slots, $X unlock, $$ the machine
// settings) are the board's own. Results go into the pending result text as
// JSON members.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gcode/block.h"
#include "impl.h"

namespace bsim {

namespace {

void busy(board::impl& b, uint32_t bits, int factor = 1)
{
    b.st.m.busy_bits |= bits;
    b.st.m.busy_until = clock_type::now() + std::chrono::milliseconds(b.cfg.motion_ms * factor);
}

void report_error(board::impl& b, const std::string& why) { add_result(b, "err", json_string(why)); }

}  // namespace

// "$" lines: colour slots, unlock and the machine settings.
void setting(board::impl& b, const std::string& line)
{
    std::string l;
    for (char c : line)
        if (!std::isspace(static_cast<unsigned char>(c))) l += char(std::tolower(static_cast<unsigned char>(c)));
    unsigned slot = 0, value = 0;
    char tail = 0;
    if (std::sscanf(l.c_str(), "$cr%u=%u%c", &slot, &value, &tail) == 2) {
        if (slot >= b.st.per.colour_slots.size() || value > 0xFFFF) return report_error(b, "colour slot out of range");
        b.st.per.colour_slots[slot] = uint16_t(value);
        b.mark(D_SCALARS);
        return;
    }
    if (l == "$$") {
        add_result(b, "settings", json_string(gcode::settings_text(b.mo.settings)));
        return;
    }
    if (l == "$x") {
        b.st.m.alarm = 0;
        b.st.m.limits = 0;
        b.mark(D_SCALARS);
        return;
    }
    report_error(b, "unknown setting " + line);
}


std::string json_string(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

void add_result(board::impl& b, const std::string& key, const std::string& json_value)
{
    for (auto& kv : b.st.m.result)
        if (kv.first == key) {
            kv.second = json_value;
            return;
        }
    b.st.m.result.emplace_back(key, json_value);
}

void raise_alarm(board::impl& b, uint16_t code, const std::string& why)
{
    b.st.m.alarm = code;
    add_result(b, "alarm", std::to_string(code));
    report_error(b, why);
    b.log_event("alarm " + std::to_string(code) + ": " + why);
    job_interrupt(b, "alarm");
    b.mark(D_SCALARS);
}

void execute_line(board::impl& b, const std::string& raw)
{
    auto& m = b.st.m;
    // A new command line's outcome replaces the previous one's.
    std::erase_if(m.result, [](const auto& kv) { return kv.first == "ok" || kv.first == "err"; });
    gcode::block blk;
    gcode::parse_block(raw, blk);
    std::string shown;
    for (char c : raw)
        if (c != '\r' && c != '\n' && c != '\0') shown += c;
    add_result(b, "line", json_string(shown));
    if (!blk.dollar.empty()) return setting(b, blk.dollar);
    if (blk.problem != gcode::issue::none) return report_error(b, blk.bad_word + ": " + blk.why);

    // The line runs on a copy of the interpreter first: whether it moves the
    // machine, and what it would do, without touching the machine.
    gcode::interpreter probe = b.mo.eng->interp();
    probe.enforce_travel = false;
    for (int i = 0; i < 9; ++i) probe.state().position[size_t(i)] = m.mpos[size_t(i)];
    bool moves = false;
    gcode::outcome o = probe.run(blk, [&](const gcode::move&) { moves = true; });
    bool probe_without_target = o.problem == gcode::issue::malformed && o.word.rfind("G38", 0) == 0;
    if ((moves || probe_without_target) && m.alarm)
        return report_error(b, "alarm " + std::to_string(m.alarm) + ", reset first");

    if (m.job.active) {
        // The job owns the machine: a line beyond the travel still raises the alarm, nothing else runs.
        if (o.ok()) return report_error(b, "a job is running: only \"$\" lines are taken");
    } else {
        motion_stop(b);  // the interpreter starts from where the machine is
        o = b.mo.eng->run(blk);
        b.mo.eng->finish();
    }
    if (o.problem == gcode::issue::travel) {
        int axis = gcode::axis_index(o.word.empty() ? 'X' : o.word[0]);
        if (axis >= 0) m.limits |= uint16_t(1u << axis);
        return raise_alarm(b, ALARM_LIMIT, o.why);
    }
    if (probe_without_target)
        return raise_alarm(b, ALARM_PROBE, "probe without a target");
    if (!o.ok()) return report_error(b, o.word + ": " + o.why);

    // The line's motion, done at once.
    uint32_t bits = 0;
    int factor = 1;
    for (const auto& seg : b.mo.queue) {
        segment_done(b, seg);
        bits |= kind_bits(seg.kind);
        if (seg.kind == gcode::motion::home) factor = std::max(factor, 3);
        if (seg.kind == gcode::motion::probe || seg.kind == gcode::motion::tool_change) factor = std::max(factor, 2);
    }
    b.mo.queue.clear();
    if (bits) busy(b, bits, factor);
    sync_modal(b);
    add_result(b, "ok", "true");
}

}  // namespace bsim
