// pelkctl's machine commands: status, command lines, stop, continue, reset,
// home, running a job, and the parameter table and identity record.
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "cli_support.h"

namespace {

TEST_F(pelkctl_local, status_command_lines_and_machine_control)
{
    auto& board = start_board(0, "CNC-BOARD");
    auto r = run({"status"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "idle")) << r.out;

    r = run({"gcode", "G1 x4 F1000", "G1 y-2.5"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "2 lines sent")) << r.err;
    jvalue st = run({"status", "--json"}).json();
    EXPECT_EQ(st["machine_pos"]["x"].num, 4);
    EXPECT_EQ(st["machine_pos"]["y"].num, -2.5);
    EXPECT_EQ(st["inputs"]["door"].num, 1);
    EXPECT_EQ(run({"gcode", std::string(1300, 'x')}).code, 2) << "a line the interpreter cannot hold";

    for (const char* c : {"stop", "continue", "reset", "home"}) EXPECT_EQ(run({c}).code, 0) << c;
    EXPECT_TRUE(wait_until([&] { return board.machine().machine_pos[0] == 0; }));

    // --watch refreshes until Ctrl-C, one JSON object per line; Ctrl-C is
    // caught once the first object is out.
    auto child = start({"status", "--watch", "--json"});
    ASSERT_TRUE(wait_until([&] {
        std::ifstream out(child.out_path);
        return std::count(std::istreambuf_iterator<char>(out), std::istreambuf_iterator<char>(), '\n') >= 2;
    }));
    ::kill(child.pid, SIGINT);
    r = finish(child);
    EXPECT_EQ(r.code, 0) << r.err;
    std::istringstream lines(r.out);
    int objects = 0;
    for (std::string line; std::getline(lines, line); ++objects) {
        jvalue v;
        EXPECT_TRUE(parse_json(line, v)) << line;
    }
    EXPECT_GE(objects, 2);

    // The board goes away under a status read.
    board.arm_fault(bsim::fault_kind::close_now, 48);
    r = run({"status"});
    EXPECT_EQ(r.code, 4);
    EXPECT_TRUE(has(r.err, "lost")) << r.err;
}

TEST_F(pelkctl_local, run_follows_the_job_to_its_end_stops_on_ctrl_c_and_reports_alarms)
{
    start_board(0, "JOB-BOARD", [](bsim::config& c) { c.line_rate = 200; });
    std::ofstream(work_path("part.nc")) << program(40, "G1 x1 F1000");
    auto r = run({"run", "part.nc", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "job ended at line 40 of 40")) << r.err;
    EXPECT_EQ(r.json()["end_line"].num, 40);
    EXPECT_FALSE(std::filesystem::exists(work_path("part_N.nc"))) << "the numbered copy is removed";

    // A program that leaves the travel range: refused by the check, and
    // when forced stopped by the machine's alarm, with the board's reason.
    std::ofstream(work_path("crash.nc")) << "G1 x1\nG1 x5000\nG1 x2\n";
    EXPECT_EQ(run({"run", "crash.nc"}).code, 9);
    r = run({"run", "crash.nc", "--force"});
    EXPECT_EQ(r.code, 8);
    EXPECT_TRUE(has(r.err, "alarm code 2") && has(r.err, "5000")) << r.err;
    EXPECT_EQ(run({"reset"}).code, 0);
    boards[0].reset();

    // Ctrl-C without a terminal to ask on stops the machine.
    auto& slow = start_board(0, "JOB-BOARD", [](bsim::config& c) { c.line_rate = 5; });
    std::ofstream(work_path("long.nc")) << program(400, "G1 x1 F1000");
    auto child = start({"run", "long.nc", "--from", "3"});
    ASSERT_TRUE(wait_until([&] { return slow.machine().run_line >= 5; }, 20000));
    ::kill(child.pid, SIGINT);
    r = finish(child);
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_TRUE(slow.machine().paused) << r.err;

    r = run({"run", "nothing-here.nc"});
    EXPECT_EQ(r.code, 7);
}

TEST_F(pelkctl_local, parameters_and_the_identity_record)
{
    auto& board = start_board(0, "PARAM-BOARD");
    jvalue table = run({"params", "get", "--json"}).json();
    ASSERT_GT(table.items.size(), 3u);
    EXPECT_EQ(run({"params", "set", "2", "3.5"}).code, 0);
    auto r = run({"params", "get", "2"});
    EXPECT_EQ(r.out, "3.500000\n");
    EXPECT_FLOAT_EQ(board.params()[2], 3.5f);

    // The printed table feeds params set.
    r = run({"params", "get"});
    std::string text = r.out;
    text.replace(0, text.find('\n'), "7.25");
    std::ofstream(work_path("param.txt")) << text;
    EXPECT_EQ(run({"params", "set", "param.txt"}).code, 0);
    EXPECT_FLOAT_EQ(board.params()[0], 7.25f);
    EXPECT_FLOAT_EQ(board.params()[2], 3.5f);
    std::ofstream(work_path("big.txt")) << program(513, "1.0");
    EXPECT_EQ(run({"params", "set", "big.txt"}).code, 7);
    EXPECT_EQ(run({"params", "save", "1"}).code, 0);
    EXPECT_EQ(run({"params", "load", "0"}).code, 0);
    EXPECT_EQ(run({"params", "save", "2"}).code, 2);

    // The record as the console writes it: identifier in bytes 0-15, type
    // code in byte 17, bytes 16 and 18 kept.
    EXPECT_EQ(run({"userdata", "set", "id", "LINE7-0123456789", "--truncate"}).code, 0);
    EXPECT_EQ(run({"userdata", "set", "type", "M81DC"}).code, 0);
    auto rec = board.user_data(0, 19);
    EXPECT_EQ(std::string(rec.begin(), rec.begin() + 16), std::string("LINE7-012345678") + '\0');
    EXPECT_EQ(rec[17], 4);
    jvalue id = run({"userdata", "get", "--json"}).json();
    EXPECT_EQ(id["machine_id"].str, "LINE7-012345678");
    EXPECT_EQ(id["machine_type"].str, "M81DC");
    // A multi-byte character is not cut in half at the 15-byte limit.
    EXPECT_EQ(run({"userdata", "set", "id", "ABCDEFGHIJKLMN\xc3\xa9", "--truncate"}).code, 0);
    EXPECT_EQ(board.user_data(13, 2), (std::vector<uint8_t>{'N', 0}));
    EXPECT_EQ(board.user_data(17, 1)[0], 4) << "the identifier write keeps the type";
    EXPECT_EQ(run({"userdata", "set", "type", "M99"}).code, 2);
    EXPECT_EQ(run({"userdata", "set", "id", ""}).code, 2);
}

}  // namespace
