// Velocity profiles: single moves against hand-worked times, per-axis
// limits, speeds at the joints between moves, and the look-ahead.
#include <gtest/gtest.h>

#include <cmath>

#include "gcode_rig.h"

using namespace gcode;

namespace {

constexpr int axis_x = 0, axis_y = 1;

// X and Y at 6000 mm/min (100 mm/s) and 100 mm/s^2.
machine_settings limited()
{
    machine_settings s = machine_settings::defaults();
    s.max_rate[axis_x] = s.max_rate[axis_y] = 6000;
    s.accel[axis_x] = s.accel[axis_y] = 100;
    return s;
}

// Every move keeps each axis within its rate and acceleration, enters at
// the speed the one before left at, can reach its exit from its entry, and
// lasts as long as its profile; pauses and the end come at rest.
testing::AssertionResult profiles_fit(const std::vector<segment>& segs, const machine_settings& s)
{
    double prev = 0;
    for (size_t i = 0; i < segs.size(); ++i) {
        const segment& g = segs[i];
        auto bad = [&](const char* what) { return testing::AssertionFailure() << "segment " << i << ": " << what; };
        if (is_pause(g.kind) && prev != 0) return bad("a pause entered moving");
        if (is_pause(g.kind)) continue;
        if (std::fabs(g.entry - prev) > 1e-6) return bad("entry is not the previous exit");
        if (std::max(g.entry, g.exit) > g.cruise + 1e-9 || (g.feed > 0 && g.cruise > g.feed / 60 + 1e-9)) return bad("too fast");
        if (!(g.length > 0)) return bad("no length");
        for (int k = 0; k < AXES; ++k) {
            double u = std::fabs(g.end[k] - g.start[k]) / g.length;
            if (g.cruise * u > s.max_rate[k] / 60 * (1 + 1e-9) || g.accel * u > s.accel[k] * (1 + 1e-9)) return bad("an axis beyond its limits");
        }
        if (std::fabs(g.exit * g.exit - g.entry * g.entry) > 2 * g.accel * g.length + 1e-6) return bad("exit out of reach");
        if (std::fabs(g.seconds - profile_seconds(g.length, g.entry, g.cruise, g.exit, g.accel)) > 1e-6) return bad("wrong time");
        prev = g.exit;
    }
    if (prev != 0) return testing::AssertionFailure() << "the program ends moving";
    return testing::AssertionSuccess();
}

}  // namespace

TEST(planner, profile_seconds)
{
    double reached = 0;
    EXPECT_NEAR(profile_seconds(100, 50, 50, 0, 100), 2.25, 1e-9);  // cruise, then stop
    // Too short to reach cruise from 10: peak^2 = (2aL + v0^2 + v1^2) / 2.
    double peak = std::sqrt(150.0);
    EXPECT_NEAR(profile_seconds(1, 10, 50, 0, 100, &reached), (peak - 10) / 100 + peak / 100, 1e-9);
    EXPECT_NEAR(reached, peak, 1e-9);
}

TEST(planner, single_moves_from_rest_to_rest)
{
    // v = min(F/60, rate_i/|u_i|), a = min(accel_i/|u_i|); 3-4-5 moves have u = (0.6, 0.8).
    struct {
        const char* text;
        double seconds, cruise, accel;  // cruise < 0: a triangle, cruise never reached
    } moves[] = {
        {"G1 X100 F3000", 2.5, 50, 100},                    // 100/50 + 50/100
        {"G1 X100 F60000", 2.0, 100, 100},                  // the axis rate limits the feed
        {"G1 X300 Y400 F6000", 5.8, 100, 125},              // 500/100 + 100/125
        {"G0 X300 Y400", 5.0, 125, 125},                    // rapid: 500/125 + 125/125
        {"G1 X30 Y40 F6000", 2 * std::sqrt(0.4), -1, 125},  // 2 sqrt(50/125)
        {"G1 X3 Y4 F6000", 0.4, -1, 125},                   // 2 sqrt(5/125)
    };
    for (const auto& m : moves) {
        rig r(limited());
        ASSERT_TRUE(r.run(m.text).ok()) << m.text;
        ASSERT_EQ(r.segs.size(), 1u) << m.text;
        const segment& g = r.segs[0];
        EXPECT_NEAR(g.seconds, m.seconds, 1e-6) << m.text;
        EXPECT_NEAR(g.accel, m.accel, 1e-6) << m.text;
        EXPECT_TRUE(m.cruise < 0 || std::fabs(g.cruise - m.cruise) < 1e-6) << m.text << ": cruise " << g.cruise;
        EXPECT_EQ(g.entry, 0) << m.text;
        EXPECT_TRUE(profiles_fit(r.segs, limited())) << m.text;
    }
}

TEST(planner, position_and_distance_along_a_profile)
{
    rig r(limited());
    ASSERT_TRUE(r.run("G1 X30 Y40 F3000").ok());  // 50 mm at 50 mm/s, 125 mm/s^2: 0.4 s each way
    ASSERT_EQ(r.segs.size(), 1u);
    const segment& g = r.segs[0];
    ASSERT_NEAR(g.seconds, 1.4, 1e-9);
    const double t[] = {0, 0.2, 0.4, 0.7, 1.2, 1.4, 10}, d[] = {0, 2.5, 10, 25, 47.5, 50, 50};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(distance_at(g, t[i]), d[i], 1e-9) << t[i] << " s";
    EXPECT_TRUE(at(position_at(g, 0.7), {15, 20}));
    EXPECT_EQ(position_at(g, g.seconds), g.end);
    for (int i = 1; i <= 200; ++i) EXPECT_GE(distance_at(g, g.seconds * i / 200), distance_at(g, g.seconds * (i - 1) / 200));
}

TEST(planner, speeds_at_the_joints)
{
    rig straight(limited()), corner(limited()), reverse(limited());
    ASSERT_TRUE(straight.run("G1 X10 F3000\nX20").ok());
    ASSERT_TRUE(corner.run("G1 X10 F3000\nY10").ok());
    ASSERT_TRUE(reverse.run("G1 X10 F3000\nX0").ok());
    for (rig* r : {&straight, &corner, &reverse}) ASSERT_TRUE(r->segs.size() == 2 && profiles_fit(r->segs, limited()));
    // Straight on, the two moves take as long as one of 20 mm: 2 sqrt(20/100).
    EXPECT_NEAR(straight.seconds(), 2 * std::sqrt(0.2), 1e-6);
    EXPECT_GT(corner.segs[0].exit, 0);
    EXPECT_LT(corner.segs[0].exit, 10);
    EXPECT_NEAR(reverse.segs[0].exit, 0, 1e-9);

    rig arc(limited());
    ASSERT_TRUE(arc.run("G2 X10 Y0 I5 J0 F3000").ok());
    EXPECT_TRUE(profiles_fit(arc.segs, limited()));
    for (size_t i = 0; i + 1 < arc.segs.size(); ++i) EXPECT_GT(arc.segs[i].exit, 0) << "chord " << i;

    rig mixed(limited());
    ASSERT_TRUE(mixed.run("G0 X5 Y5\nG1 X10 F3000\nY10\nX0 Y0 F1200\nG4 P0.5\nG2 X10 Y0 I5 J0\nG0 X0\nM0\nG1 Y3").ok());
    EXPECT_TRUE(profiles_fit(mixed.segs, limited()));
}

TEST(planner, look_ahead_bounds_what_is_held)
{
    std::string many;
    for (int i = 1; i <= 100; ++i) many += "G1 X" + std::to_string(i) + " F3000\n";
    machine_settings s4 = limited();
    s4.lookahead = 4;
    rig near(s4), far(limited());
    ASSERT_TRUE(near.run(many, false).ok());
    EXPECT_LE(near.e.plan().held(), 5u);
    EXPECT_GE(near.segs.size(), 95u);  // segments leave while the program runs
    near.e.finish();
    ASSERT_EQ(near.segs.size(), 100u);
    EXPECT_TRUE(profiles_fit(near.segs, s4));
    ASSERT_TRUE(far.run(many).ok());
    EXPECT_TRUE(profiles_fit(far.segs, limited()));
    // Seeing 32 mm ahead is enough to reach full speed: 100/50 + 50/100.
    EXPECT_NEAR(far.seconds(), 2.5, 1e-6);
    // Seeing 4 mm ahead, the machine must be able to stop within them.
    EXPECT_GT(near.seconds(), 100 / std::sqrt(2 * 100 * 5.0));
}
