#include "cli_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

const char* const ADDRESSES[] = {"10.233.0.2", "10.233.0.3", "10.233.0.4", "192.168.8.123"};

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

jvalue cli_result::json() const
{
    jvalue v;
    std::string why;
    EXPECT_TRUE(parse_json(out, v, &why)) << why << "\nin: " << out;
    return v;
}

void pelkctl_test::SetUp()
{
    if (on_loopback) return;
    net = std::make_unique<private_net>(std::vector<std::string>{"10.233.0.1"},
                                        std::vector<std::string>{ADDRESSES[0], ADDRESSES[1], ADDRESSES[2], ADDRESSES[3]});
    if (!net->ok()) GTEST_SKIP() << "no private network: " << net->why_not();
}

void pelkctl_test::TearDown()
{
    for (auto& b : boards) b.reset();
}

bsim::board& pelkctl_test::start_board(int slot, const std::string& mid,
                                       const std::function<void(bsim::config&)>& adjust)
{
    bsim::config c;
    address[slot] = on_loopback ? sim_loopback_address() : ADDRESSES[slot];
    c.tcp_addr = address[slot];
    c.discovery = !on_loopback;
    c.state_dir = states[slot].path;
    c.set_machine_id = true;
    std::memcpy(c.id.machine_id.data(), mid.data(), std::min<size_t>(mid.size(), 12));
    c.set_board_id = true;
    for (size_t i = 0; i < 12; ++i) c.id.board_id[i] = uint8_t(0x10 * slot + i);
    if (adjust) adjust(c);
    if (net) {
        EXPECT_TRUE(net->enter_board_side());
    }
    boards[slot] = std::make_unique<bsim::board>(c);
    std::string why;
    bool ok = boards[slot]->start(&why);
    if (net) net->leave();
    EXPECT_TRUE(ok) << why;
    return *boards[slot];
}

std::vector<std::string> pelkctl_test::with_board_choice(const std::vector<std::string>& args) const
{
    if (!on_loopback) return args;
    std::string command;
    for (const auto& a : args) {
        for (const char* own : {"--address", "--id", "--index", "--static", "--all", "--help", "--version"})
            if (a == own) return args;
        if (command.empty() && a.rfind("--", 0) != 0) command = a;
    }
    // Commands that need no board keep working without one.
    if (command == "check" || command == "discover") return args;
    for (int slot = 0; slot < 4; ++slot)
        if (boards[slot]) {
            std::vector<std::string> out = {"--address", address[slot]};
            out.insert(out.end(), args.begin(), args.end());
            return out;
        }
    return args;
}

cli_child pelkctl_test::start(const std::vector<std::string>& given, const std::string& stdin_path)
{
    const std::vector<std::string> args = with_board_choice(given);
    cli_child c;
    static int serial = 0;
    std::string tag = std::to_string(++serial);
    c.out_path = work.path + "/.out" + tag;
    c.err_path = work.path + "/.err" + tag;
    std::vector<std::string> argv_text = {PELKCTL_PATH};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (stdin_path.empty()) posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    else posix_spawn_file_actions_addopen(&fa, 0, stdin_path.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_addopen(&fa, 1, c.out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, c.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&fa, work.path.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A session of its own: no controlling terminal to ask questions on,
    // unless standard input is one (opened after setsid without O_NOCTTY).
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    // The child lives in the namespace of the thread that starts it.
    if (net) {
        EXPECT_TRUE(net->enter_host_side());
    }
    int e = posix_spawn(&c.pid, PELKCTL_PATH, &fa, &attr, argv.data(), environ);
    if (net) net->leave();
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    EXPECT_EQ(e, 0) << std::strerror(e);
    return c;
}

cli_result pelkctl_test::finish(const cli_child& c, int timeout_ms)
{
    cli_result r;
    if (c.pid <= 0) return r;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        pid_t w = ::waitpid(c.pid, &status, WNOHANG);
        if (w == c.pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "pelkctl did not end in time";
            ::kill(c.pid, SIGKILL);
            ::waitpid(c.pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = slurp(c.out_path);
    r.err = slurp(c.err_path);
    ::unlink(c.out_path.c_str());
    ::unlink(c.err_path.c_str());
    return r;
}

cli_result pelkctl_test::run(const std::vector<std::string>& args) { return finish(start(args)); }

std::string pelkctl_test::make_file(const std::string& name, size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string data(n, '\0');
    for (auto& ch : data) ch = char(gen() & 0xFF);
    std::ofstream(work_path(name), std::ios::binary) << data;
    return work_path(name);
}

bool pelkctl_test::wait_until(const std::function<bool()>& pred, int ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
