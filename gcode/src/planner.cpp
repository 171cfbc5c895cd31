// The look-ahead planner. Each new move gets the highest corner speed its
// junction with the previous move allows; a backward pass then makes every
// held move able to stop by the end of the last one, a forward pass keeps
// every speed reachable from the one before. The oldest move leaves once more
// than the look-ahead are held, its exit speed fixed from then on.
#include <algorithm>
#include <cmath>
#include <limits>

#include "gcode/planner.h"

namespace gcode {

namespace {
constexpr double MIN_LENGTH = 1e-9;
}

double profile_seconds(double length, double v0, double vc, double v1, double a, double* reached)
{
    if (reached) *reached = 0;
    if (length <= 0) return 0;
    vc = std::max({vc, v0, v1});
    if (a <= 0) {
        if (reached) *reached = vc;
        return vc > 0 ? length / vc : 0;
    }
    double d_acc = (vc * vc - v0 * v0) / (2 * a);
    double d_dec = (vc * vc - v1 * v1) / (2 * a);
    if (d_acc + d_dec <= length) {
        if (reached) *reached = vc;
        return (vc - v0) / a + (vc - v1) / a + (length - d_acc - d_dec) / vc;
    }
    // Never reaches the cruise speed: accelerate to a peak, then brake.
    double peak = std::sqrt(std::max(0.0, (2 * a * length + v0 * v0 + v1 * v1) / 2));
    peak = std::max({peak, v0, v1});
    if (reached) *reached = peak;
    return (peak - v0) / a + (peak - v1) / a;
}

planner::planner(const machine_settings& s, sink out) : cfg_(s), out_(std::move(out)) {}

void planner::add(const axes& from, const move& m, bool exact_stop)
{
    item it;
    it.seg.start = from;
    it.seg.end = is_pause(m.kind) ? from : m.end;
    it.seg.line = m.line;
    it.seg.kind = m.kind;
    it.seg.feed = m.feed;
    if (is_pause(m.kind)) {
        it.seg.seconds = std::max(0.0, m.seconds);
        q_.push_back(it);
        prev_pause_ = true;
    } else {
        double len2 = 0;
        for (int i = 0; i < AXES; ++i) {
            double d = m.end[i] - from[i];
            len2 += d * d;
        }
        double len = std::sqrt(len2);
        if (len < MIN_LENGTH) {
            if (m.kind != motion::home) return;  // nothing moves
            // Homing where the machine already stands still homes it.
            q_.push_back(it);
            prev_pause_ = true;
            replan();
            while (q_.size() > size_t(std::max(1, cfg_.lookahead))) emit_front();
            return;
        }
        double v = m.feed > 0 ? m.feed / 60 : std::numeric_limits<double>::infinity();
        double a = std::numeric_limits<double>::infinity();
        for (int i = 0; i < AXES; ++i) {
            double u = (m.end[i] - from[i]) / len;
            it.unit[i] = u;
            if (std::fabs(u) < 1e-12) continue;
            v = std::min(v, cfg_.max_rate[i] / 60 / std::fabs(u));
            a = std::min(a, cfg_.accel[i] / std::fabs(u));
        }
        it.seg.length = len;
        it.seg.cruise = v;
        it.seg.accel = a;
        if (prev_pause_ || exact_stop) {
            it.max_entry = 0;
        } else {
            // The angle between the two paths sets how fast the corner can be
            // taken while staying within the junction deviation.
            double cos_theta = 0;
            for (int i = 0; i < AXES; ++i) cos_theta -= prev_unit_[i] * it.unit[i];
            double limit = std::min(v, prev_speed_);
            if (cos_theta > 0.999999) {
                limit = 0;  // a reversal
            } else if (cos_theta > -0.999999) {
                double sin_half = std::sqrt((1 - cos_theta) / 2);
                double vj2 = a * cfg_.junction_deviation * sin_half / (1 - sin_half);
                limit = std::min(limit, std::sqrt(vj2));
            }
            it.max_entry = limit;
        }
        prev_unit_ = it.unit;
        prev_speed_ = v;
        prev_pause_ = false;
        q_.push_back(it);
    }
    replan();
    while (q_.size() > size_t(std::max(1, cfg_.lookahead))) emit_front();
}

void planner::replan()
{
    if (q_.empty()) return;
    // Backward: every move must be able to brake to a stop at the end of the plan.
    double next_entry = 0;
    for (size_t k = q_.size(); k-- > 1;) {
        item& it = q_[k];
        double brake = std::sqrt(next_entry * next_entry + 2 * it.seg.accel * it.seg.length);
        if (it.seg.length == 0) brake = 0;
        it.entry = std::min(it.max_entry, brake);
        next_entry = it.entry;
    }
    // Forward: the front's entry is fixed (the previous segment left at it);
    // each next entry must be reachable.
    q_[0].entry = last_exit_;
    for (size_t k = 0; k + 1 < q_.size(); ++k) {
        const item& it = q_[k];
        double reach = it.seg.length > 0 ? std::sqrt(it.entry * it.entry + 2 * it.seg.accel * it.seg.length) : 0;
        q_[k + 1].entry = std::min(q_[k + 1].entry, reach);
    }
}

void planner::emit_front()
{
    item it = q_.front();
    q_.pop_front();
    segment& s = it.seg;
    double exit = q_.empty() ? 0 : q_.front().entry;
    if (s.length > 0) {
        s.entry = it.entry;
        s.exit = exit;
        double reached = 0;
        s.seconds = profile_seconds(s.length, s.entry, s.cruise, s.exit, s.accel, &reached);
        s.cruise = reached;
    }
    last_exit_ = s.length > 0 ? exit : 0;
    out_(s);
}

void planner::clear()
{
    q_.clear();
    last_exit_ = 0;
    prev_pause_ = true;
}

void planner::flush()
{
    replan();
    while (!q_.empty()) emit_front();
    last_exit_ = 0;
    prev_pause_ = true;  // the machine has stopped: the next move starts from rest
}

}  // namespace gcode
