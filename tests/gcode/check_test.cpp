// Whole programs checked without a machine, the time left by line, and the
// real programs kept beside the project.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "gcode/check.h"

using namespace gcode;

namespace {

check_report check_text(const std::string& text, std::vector<segment>* segs = nullptr, size_t max_findings = 20)
{
    std::istringstream in(text);
    check_options o;
    o.max_findings = max_findings;
    if (segs) o.on_segment = [segs](const segment& s) { segs->push_back(s); };
    return check_program(in, machine_settings::defaults(), o);
}

std::string first_finding(const check_report& r)
{
    for (const auto* list : {&r.unsupported, &r.beyond_travel})
        if (!list->empty()) return "line " + std::to_string(list->front().line) + " " + list->front().word + ": " + list->front().text;
    return r.not_text ? "not text" : "";
}

}  // namespace

TEST(check, summarises_a_program)
{
    const std::string program = "G21 G90\nG0 X10 Y-5 Z2\nG1 Z-1 F300\nG2 X20 Y-5 I5 J0 F600\nG4 P1\nM2\n";
    std::vector<segment> segs;
    check_report r = check_text(program, &segs);
    EXPECT_TRUE(r.runnable()) << first_finding(r);
    EXPECT_EQ(r.lines, 6u);
    EXPECT_EQ(r.bytes, program.size());
    EXPECT_EQ(r.segments, segs.size());
    double sum = 0;
    for (const auto& s : segs) sum += s.seconds;
    EXPECT_NEAR(r.seconds, sum, 1e-6);
    EXPECT_GT(r.seconds, 1);
    EXPECT_TRUE(r.used[0] && r.used[1] && r.used[2] && !r.used[3]);
    EXPECT_NEAR(r.max[0], 20, 1e-9);
    EXPECT_NEAR(r.min[1], -5, 1e-9);
    EXPECT_NEAR(r.max[1], 0, 0.01);  // the top of the arc
    EXPECT_NEAR(r.min[2], -1, 1e-9);
    EXPECT_NEAR(r.max[2], 2, 1e-9);
    check_report binary = check_text("G1 X1\n\x01\x02\x03\nG1 X2\n");
    EXPECT_TRUE(binary.not_text);
    EXPECT_FALSE(binary.runnable());
}

TEST(check, findings_carry_their_lines_and_are_capped)
{
    std::string program = "G21\n";
    for (int i = 0; i < 30; ++i) program += "G93 G1 X1 F1\n";  // lines 2 to 31
    check_report r = check_text(program + "G1 X2000 F100\nG0 X0\n", nullptr, 5);  // line 32 beyond the travel
    EXPECT_FALSE(r.runnable());
    ASSERT_EQ(r.unsupported.size(), 5u);
    EXPECT_EQ(r.unsupported_count, 30u);
    EXPECT_EQ(r.unsupported[0].line, 2u);
    EXPECT_EQ(r.unsupported[4].line, 6u);
    EXPECT_EQ(r.unsupported[0].kind, issue::unsupported);
    ASSERT_EQ(r.beyond_travel.size(), 1u);
    EXPECT_EQ(r.beyond_travel_count, 1u);
    EXPECT_EQ(r.beyond_travel[0].line, 32u);
}

TEST(check, time_left_from_the_line_reached)
{
    line_times lt;
    std::vector<segment> segs;
    check_report r = check_text("G1 X30 F600\n(no motion)\nG1 X60\nG4 P2\nM2\n", &segs);
    for (const auto& s : segs) lt.add(s);
    lt.close(r.lines);
    const double total = lt.total_seconds();
    EXPECT_NEAR(total, r.seconds, 1e-3);
    EXPECT_EQ(lt.at_line(0), 0);
    EXPECT_GT(lt.at_line(1), 0);
    EXPECT_EQ(lt.at_line(2), lt.at_line(1));
    EXPECT_GT(lt.at_line(3), lt.at_line(2));
    EXPECT_NEAR(lt.at_line(4), lt.at_line(3) + 2, 1e-3);
    EXPECT_NEAR(lt.at_line(5), total, 1e-5);  // kept as float per line
    // A machine twice as slow as planned needs twice the planned remainder.
    EXPECT_NEAR(lt.remaining(1, 2 * lt.at_line(1)), 2 * (total - lt.at_line(1)), 1e-3);
    EXPECT_NEAR(lt.remaining(5, total), 0, 1e-6);

    // Motion on every other line of a long program, four bytes a line, and
    // no drift in the running total.
    line_times big;
    segment s;
    s.seconds = 0.01;
    for (s.line = 1; s.line < 100000; s.line += 2) big.add(s);
    big.close(100010);
    EXPECT_NEAR(big.total_seconds(), 500, 0.01);
    EXPECT_EQ(big.at_line(1000), big.at_line(999));
    EXPECT_NEAR(big.at_line(999), 5, 1e-4);
    EXPECT_NEAR(big.at_line(100010), big.total_seconds(), 1e-4);
    EXPECT_LE(big.memory_bytes(), 2 * 4 * 100010u);
}

TEST(check, real_programs)
{
    const std::string dir = GCODE_SAMPLES;
    if (!std::ifstream(dir + "/SOURCES.md")) GTEST_SKIP() << "no programs in " << dir;
    struct {
        const char* name;
        uint64_t lines, first_finding;  // first_finding 0: runnable
    } programs[] = {
        {"toolpath.nc", 41, 0}, {"ordbot_handle.nc", 3825, 0}, {"arc_rword_test.gcode", 224, 0},
        {"quarter_inch_six_holes_for_30_track.nc", 860, 0}, {"Skull_Roughing.gcode", 76693, 0},
        {"jsdc.gcode", 2428, 0}, {"test_linuxcnc_metric_ref.ngc", 40, 0}, {"tort.ngc", 282, 0},
        {"mmount.ngc", 335, 24},  // #100=10.0
        {"daisy.ngc", 159, 3},    // O100 sub
    };
    for (const auto& p : programs) {
        std::ifstream in(dir + "/" + p.name, std::ios::binary);
        ASSERT_TRUE(in) << p.name;
        check_report r = check_program(in, machine_settings::defaults());
        EXPECT_EQ(r.lines, p.lines) << p.name;
        EXPECT_FALSE(r.not_text) << p.name;
        if (p.first_finding == 0) {
            EXPECT_TRUE(r.runnable()) << p.name << ": " << first_finding(r);
            EXPECT_GT(r.seconds, 0) << p.name;
            continue;
        }
        EXPECT_FALSE(r.runnable()) << p.name;
        ASSERT_FALSE(r.unsupported.empty()) << p.name;
        EXPECT_EQ(r.unsupported[0].line, p.first_finding) << p.name;
        for (const finding& f : r.unsupported) EXPECT_TRUE(f.line >= 1 && f.line <= p.lines) << p.name;
    }
}
