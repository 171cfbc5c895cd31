// Look-ahead motion planner: trapezoidal velocity profiles limited by each
// axis's rate and acceleration, corner speeds from the junction deviation,
// and a plan that can always stop within the moves it has seen. Moves come
// in one by one; a segment leaves once the planner holds more than the
// look-ahead, or when the program ends.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>

#include "gcode/interpreter.h"
#include "gcode/segment.h"

namespace gcode {

class planner {
public:
    using sink = std::function<void(const segment&)>;
    planner(const machine_settings& s, sink out);

    // position: where the machine is before the move (the previous end).
    void add(const axes& from, const move& m, bool exact_stop = false);
    // Plans everything held to a stop and hands it out.
    void flush();
    // Drops what is held without handing it out: the machine was stopped.
    void clear();
    size_t held() const { return q_.size(); }

private:
    struct item {
        segment seg;
        axes unit{};
        double max_entry = 0;   // junction limit with the previous move
        double entry = 0;
        bool fixed_entry = false;
    };
    void replan();
    void emit_front();

    machine_settings cfg_;
    sink out_;
    std::deque<item> q_;
    double last_exit_ = 0;      // exit speed of the last segment handed out
    axes prev_unit_{};          // direction of the last move added
    double prev_speed_ = 0;     // its top speed
    bool prev_pause_ = true;    // the machine stands before the next move
};

// Time to cover length starting at v0, cruising at most at vc and ending at
// v1 with acceleration a; sets the reached cruise speed.
double profile_seconds(double length, double v0, double vc, double v1, double a, double* reached = nullptr);

}  // namespace gcode
