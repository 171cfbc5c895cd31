// pelkctl as the operator meets it: Ctrl-C during a job, card file names,
// output that stays English and valid JSON, and parameter files checked before
// they are sent.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "cli_support.h"

namespace {

class pelkctl_operator : public pelkctl_local {
protected:
    // Starts pelkctl with a pseudo-terminal as its controlling terminal,
    // so that it can ask; *master is the side the test types on.
    cli_child start_on_terminal(const std::vector<std::string>& args, int* master)
    {
        *master = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(*master, 0);
        ::grantpt(*master);
        ::unlockpt(*master);
        return start(args, ::ptsname(*master));
    }

    // Reads the terminal until text shows (true) or ms pass.
    static bool wait_for_text(int master, const std::string& text, int ms = 30000)
    {
        std::string seen;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[512];
                ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0) seen.append(buf, size_t(n));
                if (has(seen, text)) return true;
            }
        }
        return false;
    }
};

TEST_F(pelkctl_operator, ctrl_c_in_run_pauses_at_once_tells_the_boards_line_and_asks_stop_or_continue)
{
    auto& board = start_board(0, "JOB-BOARD", [](bsim::config& c) { c.line_rate = 5; });
    std::ofstream(work_path("long.nc")) << program(400, "G1 x1 F1000");

    // No terminal: paused, the line the board paused at, exit 130.
    auto child = start({"run", "long.nc", "--json"});
    ASSERT_TRUE(wait_until([&] { return board.machine().run_line >= 4; }, 20000));
    ::kill(child.pid, SIGINT);
    auto r = finish(child);
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_TRUE(board.machine().paused);
    std::string paused = "paused at line " + std::to_string(board.machine().run_line) + " ";
    EXPECT_TRUE(has(r.err, paused)) << paused << "\n" << r.err;
    EXPECT_EQ(r.json()["paused_line"].num, board.machine().run_line);
    ASSERT_EQ(run({"reset"}).code, 0);

    // On a terminal: paused before the question; "c" continues the job.
    int master = -1;
    child = start_on_terminal({"run", "long.nc"}, &master);
    ASSERT_TRUE(wait_until([&] { return board.machine().job_active && !board.machine().paused; }, 20000));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ::kill(child.pid, SIGINT);
    if (!wait_for_text(master, "Stop the job")) {
        ::kill(child.pid, SIGKILL);
        FAIL() << "no question on the terminal\n" << finish(child).err;
    }
    EXPECT_TRUE(board.machine().paused) << "paused while the question waits";
    uint32_t line = board.machine().run_line;
    ASSERT_EQ(::write(master, "c\n", 2), 2);
    EXPECT_TRUE(wait_until([&] { return !board.machine().paused && board.machine().run_line > line + 1; }));

    // A second Ctrl-C while asking stops the job: the machine is reset.
    ::kill(child.pid, SIGINT);
    ASSERT_TRUE(wait_for_text(master, "Stop the job"));
    ::kill(child.pid, SIGINT);
    r = finish(child);
    ::close(master);
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_TRUE(has(r.err, "job stopped")) << r.err;
    EXPECT_FALSE(board.machine().paused);
    EXPECT_FALSE(board.machine().job_active);
}

TEST_F(pelkctl_operator, sd_put_stores_the_base_name_or_the_given_one_and_says_what_failed_in_words)
{
    auto& board = start_board(0, "SD-BOARD");
    std::filesystem::create_directories(work_path("some/dir"));
    make_file("some/dir/spindle.bin", 3000, 7);
    auto r = run({"sd", "put", work_path("some/dir/spindle.bin")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(board.sd_path("spindle.bin"))) << r.err;
    EXPECT_EQ(std::filesystem::file_size(board.sd_path("spindle.bin")) / 4, 3000u / 4);
    r = run({"sd", "put", "some/dir/spindle.bin", "--as", "fw/drive.bin", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.json()["name"].str, "fw/drive.bin");
    EXPECT_EQ(run({"sd", "stat", "fw/drive.bin"}).code, 0);
    EXPECT_EQ(run({"sd", "put", "some/dir/spindle.bin", "--as", "../x.bin"}).code, 2);

    r = run({"sd", "ls"});
    EXPECT_EQ(r.code, 5);
    EXPECT_TRUE(has(r.err, "cannot list")) << r.err;

    // The checksum query after the copy goes unanswered: words, no number.
    board.arm_fault(bsim::fault_kind::bad_arg, 21, 3);
    r = run({"sd", "put", "some/dir/spindle.bin"});
    EXPECT_EQ(r.code, 6);
    EXPECT_FALSE(has(r.err, "(-")) << r.err;
    EXPECT_TRUE(has(r.err, "no checksum") && has(r.err, "sd stat spindle.bin")) << r.err;
}

TEST_F(pelkctl_operator, output_is_english_valid_json_and_text_and_json_agree)
{
    auto& board = start_board(0, "OUT-BOARD");
    // A fresh board's identifier field is erased flash (0xFF bytes).
    auto r = run({"userdata", "get", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    jvalue id = r.json();
    EXPECT_EQ(id["machine_id"].str, "");
    EXPECT_FALSE(id["machine_id_written"].b);

    board.set_inputs(0, 1, 0);  // door and drawer lines low, air pressure high
    r = run({"status"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (unsigned char c : r.out) EXPECT_LT(c, 0x80) << r.out;
    EXPECT_TRUE(has(r.out, "idle")) << r.out;
    EXPECT_TRUE(has(r.out, "air pressure [ ]") && has(r.out, "door [x]") && has(r.out, "drawer [x]")) << r.out;
    jvalue st = run({"status", "--json"}).json();
    EXPECT_TRUE(st["idle"].b);
    EXPECT_FALSE(st["inputs_active"]["air_pressure"].b);
    EXPECT_TRUE(st["inputs_active"]["door"].b);
    EXPECT_TRUE(st["inputs_active"]["drawer"].b);

    // An alarm with its meaning and what to do, in text and JSON.
    EXPECT_EQ(run({"gcode", "G1 x5000 F1000"}).code, 8);
    r = run({"status"});
    EXPECT_TRUE(has(r.out, "travel exceeded") && has(r.out, "$X or reset")) << r.out;
    st = run({"status", "--json"}).json();
    EXPECT_EQ(st["alarm_code"].num, 2);
    EXPECT_TRUE(has(st["alarm"].str, "move back inside the travel"));
    std::ofstream(work_path("one.nc")) << "G1 x1\n";
    r = run({"run", "one.nc"});
    EXPECT_EQ(r.code, 8);
    EXPECT_TRUE(has(r.err, "travel exceeded")) << r.err;
}

TEST_F(pelkctl_operator, params_set_refuses_what_is_not_the_boards_table_and_userdata_refuses_long_ids)
{
    auto& board = start_board(0, "PARAM-BOARD");
    auto r = run({"params", "get"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 2), "0 ");
    EXPECT_TRUE(has(r.out, "\n3 ")) << "index and value";
    size_t count = board.params().size();
    float first = board.params()[0];

    std::ofstream(work_path("notes.txt")) << "1.5\nspindle warm-up 20 s\n" << program(int(count) - 2, "0.0");
    r = run({"params", "set", "notes.txt"});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(has(r.err, "line 2")) << r.err;
    std::ofstream(work_path("short.txt")) << program(int(count) - 1, "1.5");
    r = run({"params", "set", "short.txt"});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(has(r.err, std::to_string(count))) << r.err;
    EXPECT_FLOAT_EQ(board.params()[0], first) << "nothing was sent";

    EXPECT_EQ(run({"userdata", "set", "id", "LINE7-0123456789"}).code, 2);
    EXPECT_EQ(run({"userdata", "set", "id", "LINE7-0123456789", "--truncate"}).code, 0);
    EXPECT_EQ(run({"userdata", "get", "--json"}).json()["machine_id"].str, "LINE7-012345678");
}

}  // namespace
