// pelkctl's board choice by discovery, discover, info and --all, and what
// the record says of a discovered board: boards in a private network.
#include <fstream>
#include <sstream>
#include <thread>

#include "cli_support.h"

namespace {

std::vector<std::string> lines_of(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

TEST_F(pelkctl_test, no_board_gives_the_no_board_code)
{
    auto r = run({"discover", "--json"});
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_EQ(r.json().items.size(), 0u);
    r = run({"info"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(has(r.err, "no board answered")) << r.err;
}

TEST_F(pelkctl_test, discover_and_each_way_of_choosing_a_board)
{
    start_board(0, "BOARD-ALPHA");
    start_board(3, "BOARD-FIXED", [](bsim::config& c) {
        c.set_major = c.set_minor = c.set_product = c.set_variant = true;
        c.id.fw_major = 2, c.id.fw_minor = 10, c.id.product = 1, c.id.variant = 1;
    });

    auto r = run({"discover"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "BOARD-ALPHA") && has(r.out, "10.233.0.2")) << r.out;
    EXPECT_TRUE(has(r.out, "BOARD-FIXED") && has(r.out, "192.168.8.123")) << r.out;
    // Ordered by address, whatever order the answers arrive in.
    jvalue list = run({"discover", "--json"}).json();
    ASSERT_EQ(list.items.size(), 2u);
    EXPECT_EQ(list[0]["machine_id"].str, "BOARD-ALPHA");
    EXPECT_EQ(list[0]["address"].str, "10.233.0.2");
    EXPECT_EQ(list[1]["machine_id"].str, "BOARD-FIXED");
    EXPECT_EQ(list[1]["index"].num, 1);

    // Two boards and no choice: refused, with the list on standard error.
    r = run({"info"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(has(r.err, "BOARD-ALPHA") && has(r.err, "BOARD-FIXED")) << r.err;

    jvalue alpha = run({"info", "--id", "BOARD-ALPHA", "--json"}).json();
    EXPECT_TRUE(alpha["ok"].b);
    EXPECT_EQ(alpha["product"].str, "M81");
    EXPECT_EQ(alpha["variant"].str, "T2_T4");
    EXPECT_EQ(alpha["firmware"].str, "1.0");
    EXPECT_EQ(alpha["drive_firmware"].str, "1.2");
    EXPECT_EQ(alpha["board_id"].str, "000102030405060708090a0b");

    r = run({"info", "--static"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "M92") && has(r.out, "T15") && has(r.out, "2.10")) << r.out;
    EXPECT_TRUE(has(r.out, "303132333435363738393a3b")) << r.out;

    r = run({"info", "--index", "1"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.out, "BOARD-FIXED")) << r.out;

    EXPECT_EQ(run({"info", "--id", "NO-SUCH"}).code, 3);
    EXPECT_EQ(run({"info", "--index", "7"}).code, 3);
}

TEST_F(pelkctl_test, all_boards_in_turn_one_failing_does_not_stop_the_others)
{
    start_board(0, "LINE-A");
    start_board(1, "LINE-B", [](bsim::config& c) { c.fault.corrupt_writes = true; });
    start_board(2, "LINE-C");
    std::string image = make_file("top.bin", 3001);

    auto r = run({"fpga", "write", "--all", image});
    EXPECT_EQ(r.code, 6) << r.err;
    int ok_rows = 0, failed_rows = 0;
    std::istringstream rows(r.out);
    for (std::string line; std::getline(rows, line);) {
        ok_rows += has(line, "LINE-") && has(line, "  ok  ");
        failed_rows += has(line, "LINE-B") && has(line, "FAILED (6)");
    }
    EXPECT_EQ(ok_rows, 2) << r.out;
    EXPECT_EQ(failed_rows, 1) << r.out;
    EXPECT_TRUE(has(r.err, "2 of 3 boards succeeded")) << r.err;
    // Images travel padded to a multiple of 4 bytes.
    auto want = file_bytes(image);
    want.resize(3004, 0);
    EXPECT_EQ(boards[0]->fpga_image(), want);
    EXPECT_EQ(boards[2]->fpga_image(), want) << "the board after the failing one was written too";

    jvalue infos = run({"info", "--all", "--json"}).json();
    ASSERT_EQ(infos.items.size(), 3u);
    for (const auto& b : infos.items) {
        EXPECT_TRUE(b["ok"].b);
        EXPECT_EQ(b["firmware"].str, "1.0");
    }

    jvalue puts = run({"sd", "put", "--all", "--json", "top.bin"}).json();
    ASSERT_EQ(puts.items.size(), 3u);
    for (const auto& b : puts.items) {
        EXPECT_EQ(b["ok"].b, b["machine_id"].str != "LINE-B") << b["machine_id"].str;
        if (!b["ok"].b) {
            EXPECT_EQ(b["exit_code"].num, 6);
        }
    }
}

TEST_F(pelkctl_test, boards_are_chosen_by_address_discovery_waits_when_asked_and_help_is_in_one_place)
{
    start_board(0, "FIRST");
    start_board(1, "SECOND");
    auto r = run({"info", "--address", "10.233.0.3", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.json()["machine_id"].str, "SECOND");
    r = run({"info", "--address", "10.233.0.9"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(has(r.err, "10.233.0.2") && has(r.err, "10.233.0.3")) << "the boards found are listed\n" << r.err;
    EXPECT_EQ(run({"info", "--address", "10.233.0"}).code, 2);

    // The third board comes up while pelkctl keeps asking.
    auto child = start({"info", "--address", "10.233.0.4", "--discover-timeout", "60000", "--verbose", "--json"});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    start_board(2, "THIRD");
    r = finish(child);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.json()["machine_id"].str, "THIRD");
    EXPECT_TRUE(has(r.err, "discovery pass") && has(r.err, "connecting to board")) << r.err;

    // The exit codes are listed once, in the general help.
    EXPECT_FALSE(has(run({"status", "--help"}).out, "130  "));
    r = run({"--help"});
    EXPECT_TRUE(has(r.out, "130  ") && has(r.out, "--address") && has(r.out, "status --watch")) << r.out;
}

TEST_F(pelkctl_test, a_board_that_does_not_answer_discovery_is_reached_at_its_address)
{
    // As a board on another subnet: discovery never finds it.
    start_board(0, "HIDDEN", [](bsim::config& c) { c.fault.discovery_silent = true; });
    start_board(1, "SEEN");
    auto r = run({"info", "--address", "10.233.0.2", "--json", "--verbose"});
    ASSERT_EQ(r.code, 0) << r.err;
    jvalue info = r.json();
    EXPECT_EQ(info["address"].str, "10.233.0.2");
    EXPECT_FALSE(info.has("machine_id")) << "unknown without discovery";
    EXPECT_FALSE(info.has("index"));
    EXPECT_EQ(info["board_id"].str, "000102030405060708090a0b");
    EXPECT_TRUE(has(r.err, "directly")) << r.err;

    // The record names what is known.
    EXPECT_EQ(run({"sd", "put", "--address", "10.233.0.2", "--record", "rec.jsonl", make_file("a.bin", 100)}).code, 0);
    auto lines = lines_of(work_path("rec.jsonl"));
    ASSERT_EQ(lines.size(), 1u);
    jvalue rec;
    ASSERT_TRUE(parse_json(lines[0], rec)) << lines[0];
    EXPECT_EQ(rec["address"].str, "10.233.0.2");
    EXPECT_EQ(rec["machine_id"].str, "");
    EXPECT_EQ(rec["board_id"].str, "000102030405060708090a0b");
}

TEST_F(pelkctl_test, records_one_json_line_per_board_and_operation_and_skips_the_same_file)
{
    auto& board = start_board(0, "REC-BOARD");
    std::ofstream(work_path("abc.txt")) << "abc";
    std::string image = make_file("fpga.bin", 3000);

    EXPECT_EQ(run({"sd", "put", "--record", "rec.jsonl", "abc.txt"}).code, 0);
    auto r = run({"sd", "put", "--record", "rec.jsonl", "--skip-same", "abc.txt"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(has(r.err, "skipped")) << r.err;
    EXPECT_EQ(run({"fpga", "write", "--record", "rec.jsonl", "--skip-same", image}).code, 0);
    EXPECT_EQ(run({"info", "--record", "rec.jsonl"}).code, 0);
    EXPECT_EQ(run({"fpga", "write", "--record", "rec.jsonl", "abc.txt"}).code, 7);

    auto lines = lines_of(work_path("rec.jsonl"));
    ASSERT_EQ(lines.size(), 5u);
    std::vector<jvalue> rec(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) ASSERT_TRUE(parse_json(lines[i], rec[i])) << lines[i];

    const jvalue& put = rec[0];
    EXPECT_EQ(put["operation"].str, "sd put");
    EXPECT_EQ(put["machine_id"].str, "REC-BOARD");
    EXPECT_EQ(put["board_id"].str.size(), 24u);
    EXPECT_EQ(put["address"].str, "10.233.0.2");
    EXPECT_EQ(put["time"].str.size(), 20u);
    EXPECT_EQ(put["time"].str.back(), 'Z');
    EXPECT_EQ(put["image"]["name"].str, "abc.txt");
    EXPECT_EQ(put["image"]["size"].num, 3);
    EXPECT_EQ(put["image"]["sha256"].str, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(put["bytes"].num, 4);
    EXPECT_EQ(put["result"].str, "ok");
    EXPECT_EQ(put["exit_code"].num, 0);
    EXPECT_FALSE(put["versions_before"]["firmware"].str.empty());
    EXPECT_EQ(put["versions_after"]["product"].str, put["versions_before"]["product"].str);
    EXPECT_TRUE(put.has("duration_seconds") && put.has("bytes_per_second"));

    EXPECT_EQ(rec[1]["result"].str, "skipped");
    EXPECT_EQ(rec[2]["operation"].str, "fpga write");
    EXPECT_EQ(rec[2]["result"].str, "ok") << "no checksum of the flash: written, not skipped";
    EXPECT_EQ(rec[2]["image"]["size"].num, 3000);
    EXPECT_EQ(rec[3]["operation"].str, "info");
    EXPECT_EQ(rec[3]["image"].kind, jvalue::null_v);
    EXPECT_EQ(rec[4]["result"].str, "failed");
    EXPECT_EQ(rec[4]["exit_code"].num, 7);
    EXPECT_TRUE(has(rec[4]["error"].str, "text")) << lines[4];
    (void)board;
}

}  // namespace
