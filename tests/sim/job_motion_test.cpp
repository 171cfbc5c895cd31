// NC jobs on the simulated board follow their planned motion: positions
// move in time, the executing line is the one moving, settings and the
// slowdown change the pace, and a line the machine cannot run stops the job
// before it with the line and the word.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "gcode/check.h"
#include "sim_support.h"

#ifndef SHARED_GCODE_DIR
#define SHARED_GCODE_DIR ""
#endif

namespace {

using clock_type = std::chrono::steady_clock;

class job_motion_test : public sim_test {
protected:
    void SetUp() override
    {
        sim_test::SetUp();
        cfg.line_rate = 0;
    }
    void up()
    {
        link.eth_device_close();
        start_board();
        ASSERT_TRUE(open_link());
    }
    // Runs a job to its end (continuing at M0 stops); the wall time it took.
    double run_to_end(const std::string& name, const std::string& program, int timeout_ms = 60000)
    {
        auto begin = clock_type::now();
        start_job(name, program);
        bool done = wait_for(
            [&] {
                auto m = sim->machine();
                if (m.job_active && m.paused) send(48, XFER_EXCHANGE, 7);
                return !m.job_active;
            },
            timeout_ms);
        EXPECT_TRUE(done) << name;
        return std::chrono::duration<double>(clock_type::now() - begin).count();
    }
    static double estimate(const std::string& program, const gcode::machine_settings& s)
    {
        std::istringstream in(program);
        return gcode::check_program(in, s).seconds;
    }
};

TEST_F(job_motion_test, positions_move_in_time_and_the_slowdown_stretches_the_job)
{
    up();
    // A 60 mm move at 3600 mm/min: about a second from rest to rest.
    const std::string program = "G21 G90\nG1 X60 F3600\nG0 X0\n";
    double planned = estimate(program, gcode::machine_settings::defaults());
    std::set<int> seen;
    start_job("move_N.nc", program);
    ASSERT_TRUE(wait_for(
        [&] {
            auto m = sim->machine();
            if (m.run_line == 2) seen.insert(int(m.machine_pos[0]));
            return !m.job_active;
        },
        60000));
    EXPECT_GT(seen.size(), 5u) << "X moved through the line, not in one jump";
    EXPECT_FLOAT_EQ(sim->machine().machine_pos[0], 0.0f);

    // The same job at a tenth of the time, on a machine at 0.5 of its speed.
    cfg.time_scale = 10;
    cfg.slowdown = 0.5;
    up();
    double took = run_to_end("move_N.nc", program);
    EXPECT_NEAR(took, planned / 10 / 0.5, 0.25 + planned * 0.05) << "planned " << planned;
}

TEST_F(job_motion_test, settings_are_options_kept_in_the_state_and_reported)
{
    cfg.settings = "rate.x=600 travel.x=-50:50";
    up();
    ASSERT_EQ(line("$$"), 0);
    std::string text = results();
    EXPECT_NE(text.find("rate.x=600"), std::string::npos) << text;
    EXPECT_NE(text.find("travel.x=-50:50"), std::string::npos) << text;

    // Kept across a restart without the option; X's travel is now 50 mm.
    cfg.settings.clear();
    up();
    ASSERT_EQ(line("G0 X60"), 0);
    EXPECT_EQ(status()[250], 2) << "beyond the kept travel";
}

TEST_F(job_motion_test, a_line_that_cannot_run_stops_the_job_before_it)
{
    cfg.time_scale = 100;
    up();
    // The move beyond the travel raises its alarm before anything of it moves.
    run_to_end("crash_N.nc", "G1 X10 F6000\nG1 X5000\nG1 X20\n");
    auto m = sim->machine();
    EXPECT_EQ(m.alarm, 2);
    EXPECT_EQ(m.run_line, 2u);
    EXPECT_FLOAT_EQ(m.machine_pos[0], 10.0f);
    std::string text = results();
    EXPECT_NE(text.find("\"line\":2"), std::string::npos) << text;
    EXPECT_NE(text.find("5000"), std::string::npos) << text;
    ASSERT_EQ(send(48, XFER_EXCHANGE, 14), 0);

    // Unsupported words: alarm 3, the lines before it run, the line and word reported.
    run_to_end("cycle_N.nc", "G0 X1\nG1 X2 F600\nG81 X5 Y5 Z-1 R1\nG0 X9\n");
    m = sim->machine();
    EXPECT_EQ(m.alarm, 3);
    EXPECT_EQ(m.run_line, 3u);
    EXPECT_FLOAT_EQ(m.machine_pos[0], 2.0f);
    text = results();
    EXPECT_NE(text.find("\"word\":\"G81\""), std::string::npos) << text;
    ASSERT_EQ(send(48, XFER_EXCHANGE, 14), 0);

    // A restart from line 3 keeps the modes of the lines before it (inches).
    run_to_end("inch_N.nc", "G20\nG0 X1\nG1 X2 F10\n");
    ASSERT_EQ(line("G0 X0"), 0);  // still in inches: machine X is 0
    start_job("inch_N.nc", "G20\nG0 X1\nG1 X2 F10\n");
    ASSERT_TRUE(wait_for([&] { return !sim->machine().job_active; }, 60000));
    EXPECT_NEAR(sim->machine().machine_pos[0], 50.8f, 1e-3);
}

// A part of the program written after the parts around it (a chunk sent
// again) holds the job at its gap; nothing of the gap's bytes is run.
TEST_F(job_motion_test, a_gap_in_the_download_holds_the_job_until_it_is_written)
{
    cfg.time_scale = 100000;
    up();
    std::string program = "G21 G90\n";
    for (int i = 1; i <= 3000; ++i) program += "G1 X" + std::to_string(i % 90) + " F6000\n";
    std::string file = "(NFL3001)\r\n" + program;
    std::vector<uint8_t> start(8, 0);
    for (char c : std::string("gap_N.nc")) start.push_back(uint8_t(c));
    start.push_back(0);
    ASSERT_EQ(send(48, XFER_EXCHANGE, 1, start), 0);
    auto write = [&](size_t from, size_t to) {
        for (size_t off = from; off < to; off += 8192) {
            std::vector<uint8_t> chunk(file.begin() + long(off), file.begin() + long(std::min(off + 8192, to)));
            ASSERT_EQ(send(49, XFER_WRITE, uint32_t(off), chunk), 0);
        }
    };
    // The gap is written well inside the second after which the board takes
    // a silent download as complete.
    auto lines_before_gap = uint32_t(std::count(file.begin(), file.begin() + 8192, '\n')) - 1;  // less the header
    write(0, 8192);
    write(16384, file.size());
    ASSERT_TRUE(wait_for([&] { return sim->machine().run_line > lines_before_gap / 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto held = sim->machine();
    EXPECT_TRUE(held.job_active);
    EXPECT_EQ(held.alarm, 0);
    EXPECT_LE(held.run_line, lines_before_gap) << "the job went past the gap";
    write(8192, 16384);
    ASSERT_TRUE(wait_for([&] { return !sim->machine().job_active; }));
    auto m = sim->machine();
    EXPECT_EQ(m.alarm, 0) << results();
    EXPECT_EQ(m.run_line, 3001u);
    EXPECT_FLOAT_EQ(m.machine_pos[0], float(3000 % 90));
}

TEST_F(job_motion_test, public_programs_run_to_their_end_or_stop_at_their_first_unsupported_line)
{
    namespace fs = std::filesystem;
    if (!fs::is_directory(SHARED_GCODE_DIR)) GTEST_SKIP() << "no public programs in " << SHARED_GCODE_DIR;
    int programs = 0;
    for (const auto& entry : fs::directory_iterator(SHARED_GCODE_DIR)) {
        std::string ext = entry.path().extension().string();
        if (ext != ".nc" && ext != ".ngc" && ext != ".gcode") continue;
        std::ifstream f(entry.path(), std::ios::binary);
        std::string program((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        std::istringstream in(program);
        auto check = gcode::check_program(in, gcode::machine_settings::defaults());
        std::string name = entry.path().stem().string() + "_N.nc";
        ++programs;
        cfg.time_scale = std::max(1.0, check.seconds / 1.5);  // each job takes about a second and a half
        up();
        // Sampled on a thread of its own from the start block on: the job
        // runs while its lines arrive, and a slow host (a sanitizer, a build
        // beside it) can take longer to send them than the job takes to run.
        std::set<float> xs;
        int samples = 0;
        std::atomic<bool> sampling{true};
        std::thread sampler([&] {
            while (sampling) {
                auto m = sim->machine();
                ++samples;
                xs.insert(m.machine_pos[0] + m.machine_pos[1] + m.machine_pos[2] + m.machine_pos[3]);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        auto begin = clock_type::now();
        start_job(name, program);
        bool ended = wait_for(
            [&] {
                auto m = sim->machine();
                if (m.job_active && m.paused) send(48, XFER_EXCHANGE, 7);
                return !m.job_active;
            },
            60000);
        sampling = false;
        sampler.join();
        ASSERT_TRUE(ended) << name << " at line " << sim->machine().run_line
                           << (sim->machine().paused ? " paused" : "");
        auto m = sim->machine();
        if (check.runnable()) {
            EXPECT_EQ(m.alarm, 0) << name << ": " << results();
            EXPECT_GE(m.run_line, check.last_motion_line) << name;
            EXPECT_GE(xs.size(), 3u) << name << ": positions moved during the job, not only at its end ("
                                     << samples << " samples in "
                                     << std::chrono::duration<double>(clock_type::now() - begin).count() << " s)";
        } else {
            EXPECT_EQ(m.alarm, 3) << name;
            EXPECT_EQ(m.run_line, check.unsupported.at(0).line) << name;
            ASSERT_EQ(send(48, XFER_EXCHANGE, 14), 0);  // the alarm stands until a reset
        }
    }
    EXPECT_GE(programs, 10);
}

}  // namespace
