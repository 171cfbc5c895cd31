// --all on several boards at once: boards work side by side, --jobs bounds
// how many, results stay in index order, and Ctrl-C stops every board.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli_support.h"

namespace {

using clock_type = std::chrono::steady_clock;

const char* const IDS[] = {"LINE-A", "LINE-B", "LINE-C"};

// Three boards that answer every frame late, so a copy takes a while.
class pelkctl_fleet : public pelkctl_test {
protected:
    void start_slow_boards(int delay_ms)
    {
        for (int slot = 0; slot < 3; ++slot)
            start_board(slot, IDS[slot], [delay_ms](bsim::config& c) { c.fault.delay_ms = delay_ms; });
    }
    // Runs pelkctl and measures its wall time in seconds.
    cli_result timed(const std::vector<std::string>& args, double* seconds)
    {
        auto t0 = clock_type::now();
        cli_result r = run(args);
        *seconds = std::chrono::duration<double>(clock_type::now() - t0).count();
        return r;
    }
    static std::vector<std::string> lines(const std::string& text)
    {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    }
};

TEST(pelkctl_jobs_option, goes_with_all_and_takes_a_count_of_boards)
{
    auto code = [](const std::string& args) {
        int status = std::system((std::string(PELKCTL_PATH) + " " + args + " </dev/null >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(code("sd put x.bin --jobs 2"), 2) << "without --all";
    EXPECT_EQ(code("sd put x.bin --all --jobs 0"), 2);
    EXPECT_EQ(code("sd put x.bin --all --jobs many"), 2);
    EXPECT_EQ(code("status --all --jobs 2"), 2) << "status takes no --all";
}

TEST_F(pelkctl_fleet, boards_work_at_once_and_results_stay_in_index_order)
{
    // Waiting for the boards, not work on this side, takes the time (also
    // in sanitizer builds on a busy machine).
    start_slow_boards(50);
    std::string file = make_file("job.bin", 128 * 1024);
    auto want = file_bytes(file);

    double serial = 0, together = 0;
    auto one_by_one = timed({"sd", "put", "--all", "--jobs", "1", "--json", "job.bin"}, &serial);
    ASSERT_EQ(one_by_one.code, 0) << one_by_one.err;
    for (int slot = 0; slot < 3; ++slot) std::filesystem::remove(boards[slot]->sd_path("job.bin"));

    auto all = timed({"sd", "put", "--all", "--json", "--record", "rec.jsonl", "job.bin"}, &together);
    ASSERT_EQ(all.code, 0) << all.err;
    // Three boards side by side take about one board's time; in turn, three.
    EXPECT_LT(together, 0.6 * serial) << "at once " << together << " s, in turn " << serial << " s";
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(file_bytes(boards[slot]->sd_path("job.bin")), want) << slot;

    for (const auto* r : {&one_by_one, &all}) {
        jvalue rows = r->json();
        ASSERT_EQ(rows.items.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(rows[i]["index"].num, i);
            EXPECT_EQ(rows[i]["machine_id"].str, IDS[i]);
            EXPECT_TRUE(rows[i]["ok"].b);
            EXPECT_EQ(rows[i]["bytes"].num, 128 * 1024);
        }
    }
    // Every progress line names its board, and no line is split by another.
    for (const auto& l : lines(all.err)) EXPECT_EQ(l.rfind("pelkctl: ", 0), 0u) << l;
    for (const char* id : IDS)
        EXPECT_TRUE(has(all.err, std::string("[") + id + "]: sd put: ")) << id << "\n" << all.err;
    // One whole record line per board.
    std::ifstream rec(work_path("rec.jsonl"));
    int records = 0;
    for (std::string l; std::getline(rec, l); ++records) {
        jvalue v;
        EXPECT_TRUE(parse_json(l, v)) << l;
        EXPECT_EQ(v["result"].str, "ok");
    }
    EXPECT_EQ(records, 3);

    // The text table too: boards by index whatever order they finished in.
    auto text = run({"info", "--all"});
    ASSERT_EQ(text.code, 0) << text.err;
    auto rows = lines(text.out);
    ASSERT_EQ(rows.size(), 4u) << text.out;
    for (int i = 0; i < 3; ++i) {
        const std::string& row = rows[size_t(i) + 1];
        EXPECT_EQ(row.rfind(std::to_string(i) + " ", 0), 0u) << text.out;
        EXPECT_TRUE(has(row, IDS[i])) << text.out;
    }
}

TEST_F(pelkctl_fleet, a_failing_board_leaves_the_others_going_with_two_jobs_or_one)
{
    start_board(0, IDS[0]);
    start_board(1, IDS[1], [](bsim::config& c) { c.fault.corrupt_writes = true; });
    start_board(2, IDS[2]);
    make_file("top.bin", 20001);
    for (const char* jobs : {"2", "1"}) {
        auto r = run({"sd", "put", "--all", "--jobs", jobs, "--json", "top.bin"});
        EXPECT_EQ(r.code, 6) << jobs << "\n" << r.err;
        jvalue rows = r.json();
        ASSERT_EQ(rows.items.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(rows[i]["machine_id"].str, IDS[i]);
            EXPECT_EQ(rows[i]["ok"].b, i != 1) << jobs << " " << IDS[i];
        }
        EXPECT_EQ(rows[1]["exit_code"].num, 6);
        EXPECT_TRUE(has(rows[1]["error"].str, "checksum")) << rows[1]["error"].str;
        EXPECT_TRUE(has(r.err, "2 of 3 boards succeeded")) << r.err;
    }
}

TEST_F(pelkctl_fleet, ctrl_c_stops_every_boards_copy_and_each_says_so)
{
    start_slow_boards(10);
    make_file("big.bin", 600 * 1024, 3);
    auto child = start({"sd", "put", "--all", "--json", "big.bin"});
    auto partial = [&](int slot) {
        std::error_code ec;
        return std::filesystem::file_size(boards[slot]->sd_path("big.bin"), ec) >= 32 * 1024 && !ec;
    };
    ASSERT_TRUE(wait_until([&] { return partial(0) && partial(1) && partial(2); }, 20000));
    ::kill(child.pid, SIGINT);
    auto r = finish(child);
    EXPECT_EQ(r.code, 130) << r.err;
    jvalue rows = r.json();
    ASSERT_EQ(rows.items.size(), 3u) << r.out;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i]["exit_code"].num, 130) << IDS[i];
        EXPECT_TRUE(rows[i]["interrupted"].b) << IDS[i];
        EXPECT_TRUE(has(r.err, std::string("[") + IDS[i] + "]: sd put: interrupted")) << r.err;
        EXPECT_FALSE(std::filesystem::exists(boards[i]->sd_path("big.bin"))) << "the partial copy is erased";
        EXPECT_EQ(boards[i]->stats().refused, 0u);
    }
}

}  // namespace
