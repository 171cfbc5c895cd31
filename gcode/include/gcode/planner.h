// Look-ahead motion planner: trapezoidal velocity profiles limited by each
// axis's rate and acceleration, corner speeds from the junction deviation,
// and a plan that can always stop within the moves it has seen. Moves come
// in one by one; a segment leaves once the planner holds more than the
// look-ahead, or when the program ends.
#pragma once

#include <cstddef>
#include <vector>
#include <functional>

#include "gcode/interpreter.h"
#include "gcode/segment.h"

namespace gcode {

class planner {
public:
    using sink = std::function<void(const segment&)>;
    planner(const machine_settings& s, sink out);

    // from: where the machine is before the move (the previous end).
    void add(const axes& from, const move& m, bool exact_stop = false);
    // Plans everything held to a stop and hands it out.
    void flush();
    // Drops what is held without handing it out: the machine was stopped.
    void clear();
    size_t held() const { return count_; }

private:
    // Speeds are kept squared: the passes then add and compare, no roots.
    struct item {
        segment seg;
        double max_entry2 = 0;  // junction limit with the previous move
        double reach2 = 0;      // 2 a L: what the move adds to a squared speed
        double back2 = 0;       // highest entry from which the rest can still stop
    };
    item& at(size_t k) { return buf_[(head_ + k) & mask_]; }
    void push(const item& it);
    void plan_back();
    void emit_front();

    machine_settings cfg_;
    sink out_;
    std::vector<item> buf_;     // ring of the held moves, a power of two long
    size_t mask_ = 0, head_ = 0, count_ = 0;
    double entry2_ = 0;         // squared entry of the front move, fixed by the one before
    axes prev_unit_{};          // direction of the last move added
    double prev_speed_ = 0;     // its top speed
    bool prev_pause_ = true;    // the machine stands before the next move
    axes rate_{};               // per-axis limits in units per second
};

// Time to cover length starting at v0, cruising at most at vc and ending at
// v1 with acceleration a; sets the reached cruise speed.
double profile_seconds(double length, double v0, double vc, double v1, double a, double* reached = nullptr);

}  // namespace gcode
