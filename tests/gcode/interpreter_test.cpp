// Running blocks: units, distance modes, coordinate systems, arcs in each
// plane, pauses, and the blocks that are refused whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "gcode_rig.h"

using namespace gcode;

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int X = 0, Y = 1, Z = 2, A = 3;

// Checks that the chords of one arc join up and lie on the circle of radius
// r around (c0, c1) in the axes a0, a1 within tol; returns the path length.
double arc_path(const std::vector<segment>& s, int a0, int a1, double c0, double c1, double r, double tol)
{
    double sum = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        EXPECT_EQ(s[i].kind, motion::arc);
        EXPECT_TRUE(i == 0 || s[i].start == s[i - 1].end) << "chord " << i;
        axes mid;
        for (int k = 0; k < AXES; ++k) mid[k] = (s[i].start[k] + s[i].end[k]) / 2;
        auto radius = [&](const axes& p) { return std::hypot(p[a0] - c0, p[a1] - c1); };
        EXPECT_NEAR(radius(s[i].end), r, tol);
        EXPECT_LE(std::fabs(r - radius(mid)), tol * 1.001 + 1e-9);
        sum += s[i].length;
    }
    return sum;
}

double highest(const std::vector<segment>& s, int axis)
{
    double v = -1e300;
    for (const auto& g : s) v = std::max(v, g.end[axis]);
    return v;
}

}  // namespace

TEST(interpreter, units_distance_modes_and_offsets)
{
    rig m;
    ASSERT_TRUE(m.run("G20 G1 X1 A90 F10").ok());
    EXPECT_TRUE(at(m.pos(), {25.4, 0, 0, 90}));  // A in degrees whatever the units
    EXPECT_NEAR(m.segs.at(0).feed, 254, 1e-9);
    ASSERT_TRUE(m.run("G21 G91 G1 X5\nX5 Y-2").ok());
    EXPECT_TRUE(at(m.pos(), {35.4, -2}));
    EXPECT_EQ(m.run("G90 G0 G1 X1").problem, issue::malformed);  // two motion words
    EXPECT_FALSE(m.st().absolute);

    // Machine and work X after each step; G55 is at X100 Y50.
    struct {
        const char* text;
        double machine, work;
    } steps[] = {{"G55 G0 X10 Y0", 110, 10},
                 {"G92 X0 Y0", 110, 0},  // moves nothing, renames the point
                 {"G0 X5", 115, 5},
                 {"G53 G0 X20", 20, -90},  // machine coordinates for this block only
                 {"G0 X0", 110, 0},
                 {"G92.1", 110, 10},
                 {"G54 G0 X0\nG20 G92 X1\nG0 X2", 25.4, 50.8}};
    rig w;
    w.st().work_offsets[1] = {100, 50};
    for (const auto& step : steps) {
        ASSERT_TRUE(w.run(step.text).ok()) << step.text;
        EXPECT_TRUE(at(w.pos(), {step.machine})) << step.text;
        EXPECT_TRUE(at(w.work(), {step.work})) << step.text;
    }
    EXPECT_EQ(w.pos()[1], 50);
}

TEST(interpreter, pauses_tools_and_program_end)
{
    rig m;
    ASSERT_TRUE(m.run("T5").ok());
    EXPECT_EQ(m.st().tool, 0);
    ASSERT_TRUE(m.run("G4 P2.5\nM6 T3\nM0").ok());
    EXPECT_EQ(m.st().tool, 3);
    ASSERT_EQ(m.segs.size(), 3u);
    const motion kinds[] = {motion::dwell, motion::tool_change, motion::stop};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(m.segs[i].kind, kinds[i]);
        EXPECT_EQ(m.segs[i].line, i + 1);
    }
    EXPECT_NEAR(m.segs[0].seconds, 2.5, 1e-9);
    EXPECT_NEAR(m.segs[1].seconds, m.e.interp().settings().tool_change_seconds, 1e-9);
    EXPECT_FALSE(m.st().ended);
    ASSERT_TRUE(m.run("M30").ok());
    EXPECT_TRUE(m.st().ended);
    rig m2;
    ASSERT_TRUE(m2.run("M2").ok());
    EXPECT_TRUE(m2.st().ended);
}

TEST(interpreter, accepted_and_refused_blocks)
{
    rig m;
    for (const char* text : {"G17 G40 G49 G80 G94", "G61", "G64", "G43 H1", "T2", "%", "$H", "M3 S1000", "M5"})
        EXPECT_TRUE(m.run(text).ok()) << text;
    EXPECT_TRUE(m.segs.empty());

    // Refused whole: nothing moves and no mode changes.
    for (const char* text : {"G91 G93 G1 X5 F1", "G91 G81 X1 Y1 Z-1 R1", "G91 G41 G1 X5", "G91 G42 G1 X5", "O100 sub",
                             "#101=5", "G91 G99.5 X5", "G91 M98 X5", "G91 G1 X[1+2]"}) {
        rig r;
        outcome o = r.run(text);
        EXPECT_EQ(o.problem, issue::unsupported) << text;
        EXPECT_FALSE(o.executed) << text;
        EXPECT_TRUE(r.st().absolute) << text;
        EXPECT_TRUE(r.segs.empty()) << text;
    }

    // Lines starting with '/' are skipped only when the settings say so.
    machine_settings keep = machine_settings::defaults();
    keep.block_delete = false;
    rig skip, run(keep);
    ASSERT_TRUE(skip.run("/G0 X10").ok());
    ASSERT_TRUE(run.run("/G0 X10").ok());
    EXPECT_TRUE(at(skip.pos(), {0}));
    EXPECT_TRUE(at(run.pos(), {10}));
}

TEST(interpreter, travel_limits)
{
    for (const char* text : {"G1 X1001 F100", "G20 G0 X40", "G0 Y-1000.5", "G0 X995\nG2 X995 Y0 I3 J0"}) {
        rig r;
        outcome o = r.run(text);
        EXPECT_EQ(o.problem, issue::travel) << text;
        EXPECT_FALSE(o.executed) << text;
        EXPECT_FALSE(r.st().inches) << text;
        EXPECT_TRUE(at(r.pos(), {r.segs.empty() ? 0.0 : 995.0, 0})) << text;
        EXPECT_LE(r.segs.size(), 1u) << text;
    }
    rig m;
    EXPECT_TRUE(m.run("G0 X-1000 Y1000 A5000").ok());  // at the limits; rotary unlimited
    EXPECT_TRUE(at(m.pos(), {-1000, 1000, 0, 5000}));

    rig check;
    check.e.interp().enforce_travel = false;
    outcome o = check.run("G0 X1500");
    EXPECT_EQ(o.problem, issue::travel);
    EXPECT_TRUE(o.executed);
    EXPECT_TRUE(at(check.pos(), {1500}));
}

TEST(arcs, directions_radii_and_lengths)
{
    const double tol = machine_settings::defaults().arc_tolerance;
    struct {
        const char* text;
        int a0, a1;
        double c0, c1, r, length;
        int axis;      // an axis the arc's direction shows on (-1: the centre shows it)
        double reach;  // a coordinate the arc must pass on it
    } arcs[] = {
        {"G17 G2 X10 Y0 I5 J0", X, Y, 5, 0, 5, PI * 5, Y, 5},
        {"G17 G3 X10 Y0 I5 J0", X, Y, 5, 0, 5, PI * 5, Y, -5},
        {"G2 X0 Y0 I5 J0", X, Y, 5, 0, 5, 2 * PI * 5, Y, 5},  // a full circle
        {"G2 X10 Y10 R10", X, Y, 10, 0, 10, PI * 5, -1, 0},  // R > 0: the shorter arc
        {"G2 X10 Y10 R-10", X, Y, 0, 10, 10, PI * 15, -1, 0},
        {"G20 G2 X1 Y0 I0.5 J0", X, Y, 12.7, 0, 12.7, PI * 12.7, Y, 12.7},  // inches: ends, offsets and R
        {"G20 G3 X1 Y1 R1", X, Y, 0, 25.4, 25.4, PI * 12.7, -1, 0},
        {"G18 G2 X10 Z0 I5 K0", Z, X, 0, 5, 5, PI * 5, Z, -5},  // clockwise seen from +Y
        {"G18 G3 X10 Z0 I5 K0", Z, X, 0, 5, 5, PI * 5, Z, 5},
        {"G19 G2 Y10 Z0 J5 K0", Y, Z, 5, 0, 5, PI * 5, Z, 5},  // clockwise seen from +X
        {"G19 G3 Y10 Z0 J5 K0", Y, Z, 5, 0, 5, PI * 5, Z, -5},
    };
    for (const auto& a : arcs) {
        rig m;
        ASSERT_TRUE(m.run(std::string(a.text) + " F600").ok()) << a.text;
        ASSERT_GT(m.segs.size(), 10u) << a.text;
        EXPECT_NEAR(arc_path(m.segs, a.a0, a.a1, a.c0, a.c1, a.r, tol), a.length, 0.03) << a.text;
        if (a.axis >= 0) {
            double closest = 1e300;
            for (const auto& g : m.segs) closest = std::min(closest, std::fabs(g.end[a.axis] - a.reach));
            EXPECT_LT(closest, 0.05) << a.text;
        }
        EXPECT_EQ(m.segs.back().end, m.pos()) << a.text;
    }
    rig full, coarse([] {
        machine_settings s = machine_settings::defaults();
        s.arc_tolerance = 0.1;
        return s;
    }());
    ASSERT_TRUE(full.run("G2 X0 Y0 I5 J0 F600").ok());
    EXPECT_TRUE(at(full.pos(), {0, 0}));
    ASSERT_TRUE(coarse.run("G2 X0 Y0 I5 J0 F600").ok());
    EXPECT_LT(coarse.segs.size(), full.segs.size());  // fewer chords, each within the tolerance
    arc_path(coarse.segs, X, Y, 5, 0, 5, 0.1);
}

TEST(arcs, helices_and_centres_that_do_not_fit)
{
    // A full helical turn: the linear axis moves in step with the angle.
    struct {
        const char* text;
        int a0, a1, along;
        double c0, c1, rise;
    } helices[] = {{"G17 G2 X0 Y0 Z-3 I5 J0", X, Y, Z, 5, 0, -3},
                   {"G18 G3 X0 Z0 Y4 I5 K0", Z, X, Y, 0, 5, 4},
                   {"G19 G2 Y0 Z0 X-4 J5 K0", Y, Z, X, 5, 0, -4}};
    for (const auto& h : helices) {
        rig m;
        ASSERT_TRUE(m.run(std::string(h.text) + " F600").ok()) << h.text;
        double length = arc_path(m.segs, h.a0, h.a1, h.c0, h.c1, 5, machine_settings::defaults().arc_tolerance);
        EXPECT_NEAR(length, std::hypot(2 * PI * 5, h.rise), 0.02) << h.text;
        EXPECT_EQ(m.segs.back().end[h.along], h.rise) << h.text;
        double flat = 0;
        for (const auto& s : m.segs) {
            flat += std::hypot(s.end[h.a0] - s.start[h.a0], s.end[h.a1] - s.start[h.a1]);
            EXPECT_NEAR(s.end[h.along], h.rise * flat / (2 * PI * 5), 0.01) << h.text;
        }
    }

    // G90.1: I and J name the centre itself, in work coordinates.
    rig abs_centre, rel_centre;
    ASSERT_TRUE(abs_centre.run("G0 X10\nG92 X0\nG90.1 G2 X10 Y0 I5 J0 F600").ok());
    EXPECT_TRUE(at(abs_centre.pos(), {20, 0}));
    EXPECT_GT(highest(abs_centre.segs, Y), 4.9);
    EXPECT_EQ(rel_centre.run("G0 X10\nG2 X20 Y0 I15 J0 F600").problem, issue::geometry);

    // The end radius may differ by 0.05 mm or by 0.1 %, not by both.
    for (const char* text : {"G2 X10.04 Y0 I5 J0 F600", "G2 X200.08 Y0 I100 J0 F600"}) {
        rig m;
        EXPECT_TRUE(m.run(text).ok()) << text;
        ASSERT_FALSE(m.segs.empty()) << text;
        EXPECT_DOUBLE_EQ(m.segs.back().end[X], std::atof(text + 4)) << text;
    }
    for (const char* text : {"G2 X10 Y0 I4 J0 F600", "G2 X10.2 Y0 I5 J0 F600", "G2 X30 Y0 R5 F600"}) {
        rig m;
        outcome o = m.run(text);
        EXPECT_EQ(o.problem, issue::geometry) << text;
        EXPECT_FALSE(o.executed) << text;
        EXPECT_TRUE(m.segs.empty()) << text;
    }
}
