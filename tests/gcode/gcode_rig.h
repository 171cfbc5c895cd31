// A machine for the tests: an engine fed program text line by line, whose
// planned segments are kept.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "gcode/engine.h"
#include "gcode/reader.h"

struct rig {
    std::vector<gcode::segment> segs;
    gcode::engine e;

    explicit rig(const gcode::machine_settings& s = gcode::machine_settings::defaults())
        : e(s, [this](const gcode::segment& g) { segs.push_back(g); }) {}
    rig(const rig&) = delete;

    // Runs every line; the outcome of the first that failed (ok when none
    // did). finish plans what is held to a stop.
    gcode::outcome run(const std::string& program, bool finish = true)
    {
        std::istringstream in(program);
        gcode::reader r(in);
        gcode::outcome first;
        for (gcode::block b; r.next(b);) {
            gcode::outcome o = e.run(b);
            if (first.ok() && !o.ok()) first = o;
        }
        if (finish) e.finish();
        return first;
    }
    gcode::modal_state& st() { return e.interp().state(); }
    const gcode::axes& pos() { return st().position; }
    gcode::axes work() { return e.interp().work_position(pos()); }
    double seconds() const
    {
        double t = 0;
        for (const auto& s : segs) t += s.seconds;
        return t;
    }
};

// The first axes of p (X, Y, ...) are want.
inline testing::AssertionResult at(const gcode::axes& p, std::initializer_list<double> want, double tol = 1e-9)
{
    int k = 0;
    for (double w : want) {
        if (std::fabs(p[k] - w) > tol)
            return testing::AssertionFailure() << gcode::AXIS_LETTERS[k] << " is " << p[k] << ", not " << w;
        ++k;
    }
    return testing::AssertionSuccess();
}
