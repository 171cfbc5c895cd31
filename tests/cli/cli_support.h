// Running pelkctl as a separate program against simulated boards, in a
// working directory of the test's own, its exit code, standard output and
// standard error kept. The boards are either in a private network (up to
// three on the board side and one at the fixed address, pelkctl on the host
// side; needs root) for what discovery and the link decide, or on loopback
// addresses of the test's own with pelkctl choosing them by --address (no
// root, no network) for everything else.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board_sim.h"
#include "json_check.h"
#include "private_net.h"
#include "sim_support.h"

inline bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A program of the same line repeated.
inline std::string program(int lines, const std::string& line)
{
    std::string text;
    for (int i = 0; i < lines; ++i) text += line + "\n";
    return text;
}

struct cli_result {
    int code = -1;  // exit code; 128 + signal when killed
    std::string out, err;
    // Standard output parsed as JSON; fails the test when it does not parse.
    jvalue json() const;
};

// A pelkctl started in the background.
struct cli_child {
    pid_t pid = -1;
    std::string out_path, err_path;
};

class pelkctl_test : public ::testing::Test {
protected:
    explicit pelkctl_test(bool on_loopback = false) : on_loopback(on_loopback) {}
    void SetUp() override;
    void TearDown() override;

    // Starts board slot (0 to 2 on the board subnet, 3 at the fixed
    // address; on loopback each start a fresh address, discovery off) with
    // machine id mid; adjust may change its configuration.
    bsim::board& start_board(int slot, const std::string& mid,
                             const std::function<void(bsim::config&)>& adjust = {});
    // Runs pelkctl with args to its end (killed after 60 s). On loopback,
    // a command that talks to a board and names none gets --address of the
    // lowest slot's board.
    cli_result run(const std::vector<std::string>& args);
    // Standard input is /dev/null, or stdin_path opened read-write (a
    // terminal opened there becomes the child's controlling terminal).
    cli_child start(const std::vector<std::string>& args, const std::string& stdin_path = "");
    cli_result finish(const cli_child& c, int timeout_ms = 60000);

    // A file of n pseudo-random bytes in the working directory.
    std::string make_file(const std::string& name, size_t n, unsigned seed = 1);
    std::string work_path(const std::string& name) const { return work.path + "/" + name; }
    // Polls until pred holds or ms pass; the bound only ends a wait that
    // will never succeed.
    static bool wait_until(const std::function<bool()>& pred, int ms = 30000);

    const bool on_loopback;
    std::unique_ptr<private_net> net;
    std::string address[4];  // each slot's board
    temp_dir work;
    temp_dir states[4];
    std::unique_ptr<bsim::board> boards[4];

private:
    std::vector<std::string> with_board_choice(const std::vector<std::string>& args) const;
};

// Boards on loopback addresses, chosen by --address: no root needed.
class pelkctl_local : public pelkctl_test {
protected:
    pelkctl_local() : pelkctl_test(true) {}
};
