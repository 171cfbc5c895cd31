// pelkctl's program check: check on real programs and generated files without
// a board, run refusing what the check finds before anything reaches the
// board, and the board's own account of lines, alarms and stops.
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "cli_support.h"

namespace {

namespace fs = std::filesystem;
constexpr int PROGRAM_CODE = 9;

std::string sample(const std::string& name)
{
    std::string path = std::string(GCODE_SAMPLES) + "/" + name;
    return fs::exists(path) ? path : "";
}

// pelkctl where no board is needed: no network of its own.
cli_result run_local(const std::vector<std::string>& args, const temp_dir& dir)
{
    std::string cmd = PELKCTL_PATH;
    for (const auto& a : args) cmd += " '" + a + "'";
    cmd += " </dev/null >" + dir.path + "/out 2>" + dir.path + "/err";
    int status = std::system(cmd.c_str());
    cli_result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto text = [](const std::string& path) {
        auto bytes = file_bytes(path);
        return std::string(bytes.begin(), bytes.end());
    };
    r.out = text(dir.path + "/out");
    r.err = text(dir.path + "/err");
    return r;
}

// Every finding names a line of the program and the word at fault.
void expect_findings(const jvalue& list, double lines)
{
    ASSERT_FALSE(list.items.empty());
    for (const auto& f : list.items) {
        EXPECT_GE(f["line"].num, 1);
        EXPECT_LE(f["line"].num, lines);
        EXPECT_FALSE(f["word"].str.empty());
        EXPECT_FALSE(f["text"].str.empty());
    }
}

TEST(pelkctl_check, real_programs_runnable_or_not_with_their_findings_extents_and_time)
{
    std::string toolpath = sample("toolpath.nc"), mmount = sample("mmount.ngc");
    if (toolpath.empty() || mmount.empty()) GTEST_SKIP() << "no sample programs in " << GCODE_SAMPLES;
    temp_dir dir;
    auto r = run_local({"check", "--json", toolpath}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    jvalue j = r.json();
    EXPECT_EQ(j["lines"].num, 41);
    EXPECT_TRUE(j["runnable"].b);
    EXPECT_FALSE(j["not_text"].b);
    EXPECT_TRUE(j["unsupported"].items.empty());
    EXPECT_GT(j["estimated_seconds"].num, 0);
    const jvalue& x = j["extents"]["X"];
    ASSERT_EQ(x.items.size(), 2u);
    EXPECT_GE(x[0].num, 0);
    EXPECT_LE(x[1].num, 70);
    EXPECT_LT(x[0].num, x[1].num);
    EXPECT_FALSE(j["extents"].has("A")) << "axes the program never moves are left out";

    // A narrower travel than the default turns the same moves into findings.
    r = run_local({"check", "--json", "--setting", "travel.x=-5:5", "--setting", "rate.x=3000", toolpath}, dir);
    EXPECT_EQ(r.code, PROGRAM_CODE);
    j = r.json();
    EXPECT_FALSE(j["runnable"].b);
    EXPECT_TRUE(j["unsupported"].items.empty());
    expect_findings(j["beyond_travel"], 41);

    r = run_local({"check", "--json", mmount}, dir);
    EXPECT_EQ(r.code, PROGRAM_CODE) << r.err;
    j = r.json();
    EXPECT_FALSE(j["runnable"].b);
    expect_findings(j["unsupported"], j["lines"].num);
    EXPECT_LE(j["unsupported"].items.size(), 20u);

    // The text form lists the first findings by line, then how many more.
    r = run_local({"check", mmount}, dir);
    EXPECT_EQ(r.code, PROGRAM_CODE);
    std::regex finding(R"(\n  line [0-9]+: \S)");
    auto n = std::distance(std::sregex_iterator(r.out.begin(), r.out.end(), finding), std::sregex_iterator());
    EXPECT_EQ(n, 20) << r.out;
    EXPECT_TRUE(has(r.out, "... and ")) << r.out;
    EXPECT_TRUE(has(r.out, " mm\n")) << r.out;
}

TEST(pelkctl_check, binary_files_missing_files_and_bad_settings)
{
    temp_dir dir;
    // An executable taken for a program: ELF header, then code bytes.
    std::string elf = "\x7f" "ELF\x02\x01\x01";
    elf += std::string(9, '\0');
    for (int i = 0; i < 4000; ++i) elf += char((i * 37 + 11) & 0xFF);
    std::ofstream(dir.path + "/tool.nc", std::ios::binary) << elf;
    auto r = run_local({"check", dir.path + "/tool.nc"}, dir);
    EXPECT_EQ(r.code, PROGRAM_CODE);
    EXPECT_TRUE(has(r.err, "binary data at line 1")) << r.err;
    r = run_local({"check", "--json", dir.path + "/tool.nc"}, dir);
    EXPECT_EQ(r.code, PROGRAM_CODE);
    EXPECT_TRUE(r.json()["not_text"].b);
    EXPECT_FALSE(r.json()["runnable"].b);

    EXPECT_EQ(run_local({"check", dir.path + "/missing.nc"}, dir).code, 7);
    std::ofstream(dir.path + "/ok.nc") << "G1 X1 F100\n";
    for (const char* bad : {"bogus=1", "rate.x=-3", "travel.q=5", "travel.x=5:1", "lookahead"})
        EXPECT_EQ(run_local({"check", "--setting", bad, dir.path + "/ok.nc"}, dir).code, 2) << bad;
    EXPECT_EQ(run_local({"check", "--setting", "travel.a=none", dir.path + "/ok.nc"}, dir).code, 0);
    EXPECT_TRUE(has(run_local({"--help"}, dir).out, "  9  ")) << "the program code is listed";
}

TEST_F(pelkctl_local, run_refuses_what_the_check_finds_before_any_download)
{
    auto& board = start_board(0, "CHECK-BOARD");
    std::ofstream(work_path("oword.nc")) << "G1 X1 F1000\nO100 sub\nG1 X2\nO100 endsub\n";
    auto r = run({"run", "oword.nc"});
    EXPECT_EQ(r.code, PROGRAM_CODE);
    EXPECT_TRUE(has(r.err, "line 2: O100")) << r.err;
    EXPECT_FALSE(fs::exists(board.sd_path("oword_N.nc"))) << "nothing went to the board";

    // Not text: refused even when forced.
    std::string data = make_file("data.nc", 3000);
    EXPECT_EQ(run({"run", "--force", "data.nc"}).code, PROGRAM_CODE);
    EXPECT_FALSE(fs::exists(board.sd_path("data_N.nc")));

    // Forced, the program goes to the board, which rejects the O-word line
    // in its turn and says which one.
    r = run({"run", "--force", "--json", "oword.nc"});
    EXPECT_TRUE(fs::exists(board.sd_path("oword_N.nc")));
    EXPECT_EQ(r.code, PROGRAM_CODE) << r.err;
    jvalue out = r.json();  // the reference below must not outlive it
    const jvalue& rejected = out["rejected"];
    ASSERT_FALSE(rejected.items.empty()) << r.out;
    EXPECT_EQ(rejected[0]["line"].num, 2) << r.out;
}

TEST_F(pelkctl_local, check_and_run_take_the_boards_settings_and_the_options_over_them)
{
    auto& board = start_board(0, "SET-BOARD", [](bsim::config& c) { c.settings = "travel.x=-5:5"; });
    std::ofstream(work_path("wide.nc")) << "G1 X10 F1000\nG1 X0\n";
    EXPECT_EQ(run({"check", "wide.nc"}).code, 0) << "without a board the defaults apply";
    auto r = run({"check", "--address", address[0], "wide.nc"});
    EXPECT_EQ(r.code, PROGRAM_CODE) << r.out << r.err;
    EXPECT_EQ(run({"check", "--address", address[0], "--setting", "travel.x=20", "wide.nc"}).code, 0);
    EXPECT_EQ(run({"run", "wide.nc"}).code, PROGRAM_CODE);
    EXPECT_FALSE(fs::exists(board.sd_path("wide_N.nc")));
}

TEST_F(pelkctl_local, command_lines_stop_at_the_first_the_board_rejects_with_its_reason)
{
    auto& board = start_board(0, "GCODE-BOARD");
    auto r = run({"gcode", "G0 X2000"});
    EXPECT_EQ(r.code, 8) << r.err;
    EXPECT_TRUE(std::regex_search(r.err, std::regex(R"(\[G0 X2000\]: \S)"))) << r.err;
    EXPECT_EQ(run({"reset"}).code, 0);

    r = run({"gcode", "--json", "G1 X1 F600", "G93 X2", "G1 X3"});
    EXPECT_EQ(r.code, PROGRAM_CODE) << r.err;
    EXPECT_TRUE(has(r.err, "[G93 X2]: ")) << r.err;
    jvalue j = r.json();
    EXPECT_EQ(j["sent"].num, 2);
    EXPECT_FALSE(j["ok"].b);
    EXPECT_TRUE(wait_until([&] { return board.machine().machine_pos[0] == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(board.machine().machine_pos[0], 1) << "the line after the rejected one is not sent";
}

TEST_F(pelkctl_local, run_follows_a_job_through_its_programmed_stops)
{
    auto& board = start_board(0, "STOP-BOARD");
    std::ofstream(work_path("stops.nc")) << "G1 X1 F1000\nM0\nG1 X2\nM0\nG1 X3\n";
    auto r = run({"run", "stops.nc", "--continue-at-stops"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "stopped itself at line 2") && has(r.err, "stopped itself at line 4")) << r.err;
    EXPECT_TRUE(has(r.err, "job ended at line 5 of 5")) << r.err;

    // Without the option the job waits for the operator, and so does pelkctl.
    std::ofstream(work_path("stop.nc")) << "G1 X1 F1000\nM0\nG1 X2\n";
    auto child = start({"run", "stop.nc"});
    ASSERT_TRUE(wait_until([&] { return board.machine().paused; }, 20000));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(run({"continue"}).code, 0);
    r = finish(child);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "job ended at line 3 of 3")) << r.err;
}

TEST_F(pelkctl_local, run_progress_shows_only_this_jobs_lines)
{
    start_board(0, "PROGRESS-BOARD", [](bsim::config& c) { c.line_rate = 100; });
    std::string long_job, short_job;
    for (int i = 0; i < 60; ++i) long_job += "G1 X" + std::to_string(i % 2) + " F3000\n";
    for (int i = 0; i < 5; ++i) short_job += "G1 Y" + std::to_string(i % 2) + " F3000\n";
    std::ofstream(work_path("long.nc")) << long_job;
    std::ofstream(work_path("short.nc")) << short_job;
    auto r = run({"run", "long.nc", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_GT(r.json()["estimated_seconds"].num, 0);
    // The board still reports the long job's line while the short one is
    // prepared: no progress line may show it against the short one's total.
    r = run({"run", "short.nc"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::regex progress(R"(line ([0-9]+)/([0-9]+))");
    for (std::sregex_iterator it(r.err.begin(), r.err.end(), progress), end; it != end; ++it)
        EXPECT_LE(std::stoul((*it)[1]), std::stoul((*it)[2])) << r.err;
    EXPECT_TRUE(has(r.err, "(estimated ")) << r.err;
}

}  // namespace
