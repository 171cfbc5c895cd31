// --all on several boards at once: boards work side by side, --jobs bounds
// how many, results stay in index order, and Ctrl-C stops every board.
#include <signal.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli_support.h"

namespace {

const char* const IDS[] = {"LINE-A", "LINE-B", "LINE-C"};

// Three boards that answer every frame late, so a copy takes a while.
class pelkctl_fleet : public pelkctl_test {
protected:
    void start_slow_boards(int delay_ms)
    {
        for (int slot = 0; slot < 3; ++slot)
            start_board(slot, IDS[slot], [delay_ms](bsim::config& c) { c.fault.delay_ms = delay_ms; });
    }
    // Runs pelkctl while sampling, every few milliseconds, how many frames
    // each board has received. True in *side_by_side when at some moment
    // every board had received part of the run's frames but not all: the
    // boards were working at once (whatever the machine's load).
    cli_result sampled(const std::vector<std::string>& args, bool* side_by_side)
    {
        using counts = std::array<uint64_t, 3>;
        auto now = [this] {
            counts c{};
            for (int slot = 0; slot < 3; ++slot) c[size_t(slot)] = boards[slot]->stats().frames_received;
            return c;
        };
        const counts before = now();
        std::vector<counts> seen;
        std::atomic<bool> running{true};
        std::thread sampler([&] {
            while (running) {
                seen.push_back(now());
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        cli_result r = run(args);
        running = false;
        sampler.join();
        const counts after = now();
        *side_by_side = std::any_of(seen.begin(), seen.end(), [&](const counts& c) {
            for (size_t i = 0; i < c.size(); ++i)
                if (c[i] <= before[i] || c[i] >= after[i]) return false;
            return true;
        });
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
    start_slow_boards(50);
    std::string file = make_file("job.bin", 128 * 1024);
    auto want = file_bytes(file);

    bool in_turn_overlapped = true, together = false;
    auto one_by_one = sampled({"sd", "put", "--all", "--jobs", "1", "--json", "job.bin"}, &in_turn_overlapped);
    ASSERT_EQ(one_by_one.code, 0) << one_by_one.err;
    EXPECT_FALSE(in_turn_overlapped) << "--jobs 1 works on one board at a time";
    for (int slot = 0; slot < 3; ++slot) std::filesystem::remove(boards[slot]->sd_path("job.bin"));

    auto all = sampled({"sd", "put", "--all", "--json", "--record", "rec.jsonl", "job.bin"}, &together);
    ASSERT_EQ(all.code, 0) << all.err;
    EXPECT_TRUE(together) << "no moment found with all three boards part-way through";
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
