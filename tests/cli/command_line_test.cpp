// pelkctl's command line and help, and a board it must refuse: no network,
// no root.
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

TEST_F(pelkctl_local, a_board_of_an_unknown_product_is_refused)
{
    start_board(0, "ODD-BOARD", [](bsim::config& c) {
        c.set_product = true;
        c.id.product = 7;
    });
    auto r = run({"info"});
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(has(r.err, "invalid product id 7")) << r.err;
}

TEST_F(pelkctl_local, an_address_where_no_board_listens_gives_the_no_board_code)
{
    std::string nobody = sim_loopback_address();
    auto r = run({"info", "--address", nobody});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(has(r.err, nobody)) << r.err;
    r = run({"info", "--address", nobody, "--json"});
    EXPECT_EQ(r.code, 3);
    EXPECT_FALSE(r.json()["ok"].b);
}

}  // namespace
