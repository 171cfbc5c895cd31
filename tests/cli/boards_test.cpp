// pelkctl's board choice, discover, info and --all, and its command line.
#include <sstream>

#include "cli_support.h"

namespace {

// Needs no network: the help texts and the command line's own errors.
TEST(pelkctl_command_line, help_lists_every_command_and_exit_code_and_bad_lines_give_the_usage_code)
{
    auto run = [](const std::string& args) {
        std::string cmd = std::string(PELKCTL_PATH) + " " + args + " </dev/null >/dev/null 2>&1";
        int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string text;
    {
        FILE* p = ::popen((std::string(PELKCTL_PATH) + " --help").c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
        EXPECT_EQ(::pclose(p), 0);
    }
    for (const char* c : {"discover", "info", "status", "gcode", "stop", "continue", "reset", "home", "check", "run",
                          "fpga write", "fpga read", "fpga erase", "mcu write", "sd put", "sd get", "sd rm",
                          "sd stat", "sd format", "update spindle", "update dc", "update boot", "update app",
                          "params get", "params set", "params save", "params load", "userdata get",
                          "userdata set"})
        EXPECT_TRUE(has(text, std::string("  ") + c)) << c;
    for (const char* code : {"  0  ", "  2  ", "  3  ", "  4  ", "  5  ", "  6  ", "  7  ", "  8  ", "130  "})
        EXPECT_TRUE(has(text, code)) << code;

    EXPECT_EQ(run("--version"), 0);
    EXPECT_EQ(run("sd put --help"), 0);
    EXPECT_EQ(run("update --help"), 0);
    EXPECT_EQ(run(""), 2);
    EXPECT_EQ(run("flash"), 2);
    EXPECT_EQ(run("fpga"), 2);
    EXPECT_EQ(run("fpga write"), 2) << "missing file";
    EXPECT_EQ(run("info --bogus"), 2);
    EXPECT_EQ(run("status --all"), 2) << "--all only where the table makes sense";
    EXPECT_EQ(run("info --id A --static"), 2);
    EXPECT_EQ(run("run x.nc --size 4"), 2);
    EXPECT_EQ(run("check x.nc --all"), 2);
    EXPECT_EQ(run("check x.nc --force"), 2) << "--force belongs to run";
    EXPECT_EQ(run("--index 99 info"), 2);
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

TEST_F(pelkctl_test, a_board_of_an_unknown_product_is_refused)
{
    start_board(0, "ODD-BOARD", [](bsim::config& c) {
        c.set_product = true;
        c.id.product = 7;
    });
    auto r = run({"info"});
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(has(r.err, "invalid product id 7")) << r.err;
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

}  // namespace
