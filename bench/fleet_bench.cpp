// pelkctl against a fleet: 8 simulated boards, each behind its own link
// shaped to 100 Mbit/s, all on one bridge, pelkctl on the host side. Times,
// measured side by side in one run, a 16 MiB `sd put` to one board, the same
// with --all on all 8 at once, and with --all --jobs 1 (one board after the
// other), and prints the ratios to the single board.
// Argument: rounds per measurement (default 3; the best run counts).
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board_sim.h"
#include "fleet_net.h"

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int BOARDS = 8;
constexpr size_t FILE_BYTES = 16u << 20;

// Seconds for one pelkctl run on the host side; negative when it failed.
double timed_run(const fleet_net& net, const std::string& dir, const std::string& args, const std::string& log)
{
    std::string cmd = "cd " + dir + " && " + net.host_exec() + PELKCTL_PATH + " " + args + " >>" + log + " 2>&1";
    auto t0 = clock_type::now();
    int status = std::system(cmd.c_str());
    double s = std::chrono::duration<double>(clock_type::now() - t0).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf("`sd put` of a %zu MiB file, best of %d; every board behind a veth pair shaped to 100 Mbit/s "
                "(tbf) on one bridge, pelkctl's side unshaped.\n\n",
                FILE_BYTES >> 20, rounds);
    fleet_net net("10.79.0", BOARDS);
    if (!net.ok()) {
        std::printf("skipped: %s\n", net.why_not().c_str());
        return 0;
    }
    std::string dir = (std::filesystem::temp_directory_path() / ("fleet_bench." + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(dir);
    {
        std::mt19937 gen(7);
        std::string data(FILE_BYTES, '\0');
        for (auto& c : data) c = char(gen() & 0xFF);
        std::ofstream(dir + "/fleet.bin", std::ios::binary) << data;
    }

    std::vector<std::unique_ptr<bsim::board>> boards;
    for (int i = 0; i < BOARDS; ++i) {
        bsim::config c;
        c.tcp_addr = net.board_address(i);
        c.state_dir = dir + "/board" + std::to_string(i);
        c.set_machine_id = true;
        std::string id = "FLEET-" + std::to_string(i);
        std::copy(id.begin(), id.end(), c.id.machine_id.begin());
        // The board's threads live in the namespace of the thread that starts it.
        net.enter_board(i);
        boards.push_back(std::make_unique<bsim::board>(c));
        std::string why;
        bool up = boards.back()->start(&why);
        net.leave();
        if (!up) {
            std::printf("skipped: board %d does not start: %s\n", i, why.c_str());
            return 0;
        }
    }

    const std::string log = dir + "/pelkctl.log";
    struct measure {
        const char* label;
        std::string args;
        int boards;
        double best = -1;
    };
    std::vector<measure> m = {
        {"(a) one board", "sd put fleet.bin --address " + net.board_address(0), 1},
        {"(b) 8 boards at once", "sd put fleet.bin --all", BOARDS},
        {"(c) 8 boards in turn", "sd put fleet.bin --all --jobs 1", BOARDS},
    };
    for (int r = 0; r < rounds; ++r)
        for (auto& x : m) {
            double s = timed_run(net, dir, x.args, log);
            if (s < 0) {
                std::printf("failed: pelkctl %s (see %s)\n", x.args.c_str(), log.c_str());
                return 1;
            }
            if (x.best < 0 || s < x.best) x.best = s;
        }

    const double one = m[0].best;
    std::printf("| run                  | command                                           | seconds | MiB/s, all boards | ratio to (a) |\n");
    std::printf("|----------------------|---------------------------------------------------|--------:|------------------:|-------------:|\n");
    for (const auto& x : m)
        std::printf("| %-20s | %-49s | %7.2f | %17.1f | %12.2f |\n", x.label, ("`pelkctl " + x.args + "`").c_str(),
                    x.best, double(FILE_BYTES) * x.boards / (1 << 20) / x.best, x.best / one);
    std::printf("\n(b)/(a) = %.2f (all 8 at once against one board), (c)/(a) = %.2f (one after the other)\n",
                m[1].best / one, m[2].best / one);
    double load[3] = {};
    if (getloadavg(load, 3) == 3) std::printf("Load average at end: %.2f %.2f %.2f\n", load[0], load[1], load[2]);

    boards.clear();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
