// The look-ahead planner. Each new move gets the highest corner speed its
// junction with the previous move allows. A backward pass then makes every
// held move able to stop by the end of the newest one; it ends at the first
// move whose limit does not change, since nothing before it can change
// either. The oldest move leaves once more than the look-ahead are held:
// its exit is the next move's limit, or what it can reach from its own
// entry, whichever is lower.
#include <algorithm>
#include <cmath>
#include <limits>

#include "gcode/planner.h"

namespace gcode {

namespace {
constexpr double MIN_LENGTH = 1e-9;
constexpr double INF = std::numeric_limits<double>::infinity();
}  // namespace

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

planner::planner(const machine_settings& s, sink out) : cfg_(s), out_(std::move(out))
{
    size_t size = 1;
    while (size < size_t(std::max(1, cfg_.lookahead)) + 1) size *= 2;
    buf_.resize(size);
    mask_ = size - 1;
    for (int i = 0; i < AXES; ++i) rate_[size_t(i)] = cfg_.max_rate[size_t(i)] / 60;
}

void planner::push(const item& it)
{
    at(count_) = it;
    ++count_;
    plan_back();
    while (count_ > size_t(std::max(1, cfg_.lookahead))) emit_front();
}

void planner::add(const axes& from, const move& m, bool exact_stop)
{
    item it;
    segment& s = it.seg;
    s.start = from;
    s.line = m.line;
    s.kind = m.kind;
    s.feed = m.feed;
    if (is_pause(m.kind)) {
        s.end = from;
        s.seconds = std::max(0.0, m.seconds);
        prev_pause_ = true;
        return push(it);
    }
    s.end = m.end;
    axes d;
    double len2 = 0;
    for (int i = 0; i < AXES; ++i) {
        d[size_t(i)] = m.end[size_t(i)] - from[size_t(i)];
        len2 += d[size_t(i)] * d[size_t(i)];
    }
    double len = std::sqrt(len2);
    if (len < MIN_LENGTH) {
        if (m.kind != motion::home) return;  // nothing moves
        prev_pause_ = true;  // homing where the machine stands still homes it
        return push(it);
    }
    double inv = 1 / len, v = m.feed > 0 ? m.feed / 60 : INF, a = INF, cos_theta = 0;
    axes unit;
    for (int i = 0; i < AXES; ++i) {
        double u = d[size_t(i)] * inv;
        unit[size_t(i)] = u;
        cos_theta -= prev_unit_[size_t(i)] * u;
        double au = std::fabs(u);
        if (au < 1e-12) continue;
        // Divide only where this axis is the one that limits.
        if (v * au > rate_[size_t(i)]) v = rate_[size_t(i)] / au;
        if (a * au > cfg_.accel[size_t(i)]) a = cfg_.accel[size_t(i)] / au;
    }
    s.length = len;
    s.cruise = v;
    s.accel = a;
    it.reach2 = 2 * a * len;
    if (prev_pause_ || exact_stop) {
        it.max_entry2 = 0;
    } else {
        // The angle between the two paths sets how fast the corner can be
        // taken while staying within the junction deviation.
        double limit = std::min(v, prev_speed_);
        double limit2 = limit * limit;
        if (cos_theta > 0.999999) {
            limit2 = 0;  // a reversal
        } else if (cos_theta > -0.999999) {
            double sin_half = std::sqrt((1 - cos_theta) / 2);
            limit2 = std::min(limit2, a * cfg_.junction_deviation * sin_half / (1 - sin_half));
        }
        it.max_entry2 = limit2;
    }
    prev_unit_ = unit;
    prev_speed_ = v;
    prev_pause_ = false;
    push(it);
}

void planner::plan_back()
{
    // The newest move must stop at its end.
    double next2 = 0;
    for (size_t k = count_; k-- > 1;) {
        item& it = at(k);
        double back2 = std::min(it.max_entry2, next2 + it.reach2);
        if (back2 == it.back2 && k + 1 < count_) break;  // unchanged: so is everything before it
        it.back2 = back2;
        next2 = back2;
    }
}

void planner::emit_front()
{
    item& it = at(0);
    segment& s = it.seg;
    double exit2 = 0;
    if (count_ > 1) exit2 = std::min(at(1).back2, entry2_ + it.reach2);
    if (s.length > 0) {
        s.entry = std::sqrt(entry2_);
        s.exit = std::sqrt(exit2);
        double reached = 0;
        s.seconds = profile_seconds(s.length, s.entry, s.cruise, s.exit, s.accel, &reached);
        s.cruise = reached;
    } else {
        exit2 = 0;
    }
    entry2_ = exit2;
    out_(s);
    head_ = (head_ + 1) & mask_;
    --count_;
}

void planner::clear()
{
    head_ = count_ = 0;
    entry2_ = 0;
    prev_pause_ = true;
}

void planner::flush()
{
    while (count_ > 0) emit_front();
    entry2_ = 0;
    prev_pause_ = true;  // the machine has stopped: the next move starts from rest
}

}  // namespace gcode
