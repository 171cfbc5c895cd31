// One block at a time, in the order a controller applies words: feed,
// spindle, tool, coolant, dwell, modes, offsets, motion, then program stops.
// Everything is computed on copies first; the state and the moves change
// only when the whole block can run.
#include <cmath>
#include <string>

#include "arcs.h"
#include "block_words.h"
#include "gcode/interpreter.h"

namespace gcode {

namespace {

constexpr double MM_PER_INCH = 25.4;

outcome problem(issue i, std::string word, std::string why, bool executed = false)
{
    outcome o;
    o.problem = i;
    o.word = std::move(word);
    o.why = std::move(why);
    o.executed = executed;
    return o;
}

std::string g_text(int code)
{
    std::string s = "G" + std::to_string(code / 10);
    if (code % 10) s += "." + std::to_string(code % 10);
    return s;
}

std::string fmt(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

}  // namespace

interpreter::interpreter(const machine_settings& s) : cfg_(s) { st_.feed = s.default_feed; }

axes interpreter::work_position(const axes& machine) const
{
    axes w;
    const axes& wcs = st_.work_offsets[size_t(st_.coordinate_system)];
    for (int i = 0; i < AXES; ++i) w[i] = machine[i] - wcs[i] - st_.g92[i];
    return w;
}

outcome interpreter::run(const block& b, const std::function<void(const move&)>& sink)
{
    if (b.problem != issue::none) return problem(b.problem, b.bad_word, b.why);
    if (b.percent || !b.dollar.empty() || b.words.empty()) return {};
    if (b.block_delete && cfg_.block_delete) return {};

    block_words w;
    if (outcome o = sort_words(b, w); !o.ok()) return o;

    modal_state next = st_;
    scratch_.clear();
    const uint64_t line = b.line;

    // Modes first: they decide how this block's numbers read.
    if (w.units) next.inches = w.units == 200;
    if (w.distance) next.absolute = w.distance == 900;
    if (w.arc_distance) next.arc_absolute = w.arc_distance == 901;
    if (w.plane) next.arc_plane = w.plane == 170 ? plane::xy : w.plane == 180 ? plane::zx : plane::yz;
    if (w.wcs) next.coordinate_system = (w.wcs - 540) / 10;
    if (w.path) next.exact_stop = w.path != 640;
    if (w.tool_length) next.tool_length = w.tool_length == 430;
    if (w.motion != -2) next.motion_mode = w.motion == 800 ? -1 : w.motion >= 380 ? 38 : w.motion / 10;

    const double unit = next.inches ? MM_PER_INCH : 1.0;
    auto scaled = [&](int axis, double v) { return rotary_axis(axis) ? v : v * unit; };

    if (w.has_f) next.feed = w.f * unit;
    if (w.has_s) next.spindle_speed = w.s;
    if (w.has_t) next.selected_tool = w.t;
    if (w.has_q && w.path != 640) next.second_tool = w.q;

    auto add = [&](const axes& end, motion kind, double feed, double seconds = 0) {
        scratch_.push_back(move{end, line, kind, feed, seconds});
    };
    axes pos = next.position;  // where the machine is after the moves so far in this block

    if (w.has_m(6)) {
        // "Q2 M6" changes the board's second slot only.
        if (w.has_t || !w.has_q) next.tool = w.has_t ? w.t : next.selected_tool;
        add(pos, motion::tool_change, 0, cfg_.tool_change_seconds);
    }
    if (w.has_m(3)) next.spindle = 3;
    if (w.has_m(4)) next.spindle = 4;
    if (w.has_m(5)) next.spindle = 5;
    if (w.has_m(7)) next.mist = true;
    if (w.has_m(8)) next.flood = true;
    if (w.has_m(9)) next.mist = next.flood = false;

    if (w.non_modal == 40) {
        if (!w.has_p || w.p < 0) return problem(issue::malformed, "G4", "a dwell needs P, its time in seconds");
        add(pos, motion::dwell, 0, w.p);
    }

    // Targets of the axis words in machine coordinates.
    const axes& wcs = next.work_offsets[size_t(next.coordinate_system)];
    auto target_of = [&](bool machine_coords) {
        axes t = pos;
        for (int i = 0; i < AXES; ++i) {
            if (!w.has_axis[i]) continue;
            double v = scaled(i, w.axis[i]);
            if (machine_coords) t[i] = v;
            else if (next.absolute) t[i] = v + wcs[i] + next.g92[i];
            else t[i] = pos[i] + v;
        }
        return t;
    };

    bool axes_used = false;  // by a non-modal code, so no motion mode moves them
    switch (w.non_modal) {
    case 920:
        for (int i = 0; i < AXES; ++i)
            if (w.has_axis[i]) next.g92[i] = pos[i] - wcs[i] - scaled(i, w.axis[i]);
        if (!w.any_axis()) return problem(issue::malformed, "G92", "G92 needs axis words");
        axes_used = true;
        break;
    case 921: next.g92 = axes{}; break;
    case 280: case 300: {
        const axes stored = w.non_modal == 280 ? axes{} : cfg_.g30_position;
        axes home = pos;
        if (w.any_axis()) {
            axes via = target_of(false);
            add(via, motion::rapid, 0);
            home = via;
            for (int i = 0; i < AXES; ++i)
                if (w.has_axis[i]) home[i] = stored[i];
        } else {
            home = stored;
        }
        add(home, motion::rapid, 0);
        pos = home;
        axes_used = true;
        break;
    }
    case 282: {
        axes home = pos;
        for (int i = 0; i < AXES; ++i)
            if (w.has_axis[i] || !w.any_axis()) home[i] = 0;
        add(home, motion::home, 0);
        pos = home;
        next.homed = true;
        axes_used = true;
        break;
    }
    default: break;
    }

    bool arc_words = w.has_offset[0] || w.has_offset[1] || w.has_offset[2] || w.has_r;
    bool machine_coords = w.non_modal == 530;
    if (machine_coords && next.motion_mode != 0 && next.motion_mode != 1)
        return problem(issue::malformed, "G53", "G53 works with G0 and G1 only");
    if (arc_words && next.motion_mode != 2 && next.motion_mode != 3)
        return problem(issue::malformed, w.has_r ? "R" : "I", "arc words without G2 or G3");

    if (!axes_used && (w.any_axis() || (arc_words && (next.motion_mode == 2 || next.motion_mode == 3)))) {
        axes target = target_of(machine_coords);
        double feed = next.feed;
        if (feed <= 0 && next.motion_mode != 0)
            return problem(issue::malformed, "F", "a feed move needs a feed rate above 0");
        switch (next.motion_mode) {
        case 0: add(target, motion::rapid, 0); break;
        case 1: add(target, motion::feed, feed); break;
        case 38: {
            int code = w.motion >= 382 ? w.motion : 382;
            bool moves = false;
            for (int i = 0; i < AXES; ++i) moves = moves || target[i] != pos[i];
            if (!moves) return problem(issue::malformed, g_text(code), "a probe move needs a target");
            add(target, motion::probe, feed);
            break;
        }
        case 2: case 3: {
            arc_request a;
            a.start = pos;
            a.end = target;
            a.pl = next.arc_plane;
            a.clockwise = next.motion_mode == 2;
            a.tolerance = cfg_.arc_tolerance;
            int p0 = 0, p1 = 1, n = 2;
            plane_axes(a.pl, p0, p1, n);
            if (w.has_p) {
                if (w.p < 1 || w.p > 1000 || double(int(w.p)) != w.p)
                    return problem(issue::malformed, "P", "the turns of an arc are a whole number from 1");
                a.turns = int(w.p);
            }
            if (w.has_r) {
                a.radius_form = true;
                a.radius = w.r * unit;
            } else {
                // Offsets I, J, K belong to X, Y, Z: pick the two of this plane.
                auto off = [&](int axis) { return w.has_offset[size_t(axis)] ? w.offset[size_t(axis)] * unit : 0.0; };
                for (int k = 0; k < 2; ++k) {
                    int axis = k == 0 ? p0 : p1;
                    a.centre[k] = next.arc_absolute ? off(axis) + wcs[size_t(axis)] + next.g92[size_t(axis)]
                                                    : pos[size_t(axis)] + off(axis);
                }
                if (w.has_offset[size_t(n)])
                    return problem(issue::malformed, std::string(1, char('I' + n)),
                                   "this offset does not belong to the arc's plane");
            }
            points_.clear();
            std::string why;
            if (!arc_points(a, points_, why))
                return problem(issue::geometry, next.motion_mode == 2 ? "G2" : "G3", why);
            for (const axes& p : points_) add(p, motion::arc, feed);
            break;
        }
        default:
            return problem(issue::malformed, "G80", "axis words without a motion mode");
        }
        pos = target;
    }

    if (w.has_m(0)) {
        add(pos, motion::stop, 0);
        next.stopped = true;
    } else {
        next.stopped = false;
    }
    if (w.has_m(2) || w.has_m(30)) {
        next.ended = true;
        next.spindle = 5;
        next.mist = next.flood = false;
    }

    // Travel: every point of every move, arcs' chords included.
    outcome result;
    for (const move& m : scratch_) {
        for (int i = 0; i < AXES; ++i) {
            if (m.end[i] >= cfg_.travel_min[i] - 1e-9 && m.end[i] <= cfg_.travel_max[i] + 1e-9) continue;
            result = problem(issue::travel, std::string(1, AXIS_LETTERS[i]),
                             std::string("travel exceeded on ") + AXIS_LETTERS[i] + " at " + fmt(m.end[i]));
            if (enforce_travel) return result;
            result.executed = true;
            break;
        }
        if (!result.ok()) break;
    }

    next.position = pos;
    st_ = next;
    for (const move& m : scratch_) sink(m);
    return result;
}

}  // namespace gcode
