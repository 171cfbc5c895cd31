#include "sim_support.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "vesk_testing.h"

namespace fs = std::filesystem;

std::string sim_loopback_address()
{
    static std::atomic<int> counter{0};
    unsigned pid = unsigned(::getpid());
    int n = counter++;
    return "127." + std::to_string(200 + pid % 50) + "." + std::to_string((pid / 50) % 256) + "." +
           std::to_string(1 + n % 250);
}

temp_dir::temp_dir()
{
    std::string t = (fs::temp_directory_path() / "bsim_test.XXXXXX").string();
    if (::mkdtemp(t.data())) path = t;
}

temp_dir::~temp_dir()
{
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
}

std::vector<uint8_t> file_bytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void sim_test::SetUp()
{
    address = sim_loopback_address();
    cfg.tcp_addr = address;
    cfg.discovery = false;
    cfg.state_dir = state.path + "/board";
    cfg.motion_ms = 50;
    cfg.line_rate = 200;
}

void sim_test::TearDown()
{
    link.eth_device_close();
    sim.reset();
    vesk_test_clear_servers();
}

void sim_test::start_board()
{
    if (sim) sim->stop();
    sim = std::make_unique<bsim::board>(cfg);
    std::string why;
    ASSERT_TRUE(sim->start(&why)) << why;
}

bool sim_test::open_link()
{
    vesk_test_clear_servers();
    vesk_test_seed_server(0, address.c_str(), "SIMTESTBOARD");
    return link.eth_device_open(0, close_count::callback, &closes) == 0;
}

int sim_test::send(uint8_t cmd, uint8_t type, uint32_t arg, std::vector<uint8_t>& data, unsigned short* got)
{
    return link.eth_send_cmd(cmd, type, arg, data.empty() ? nullptr : data.data(), (unsigned short)data.size(), got);
}

std::vector<uint8_t> sim_test::read(uint8_t cmd, uint32_t arg, unsigned short len)
{
    std::vector<uint8_t> buf(len);
    unsigned short got = 0;
    int r = link.eth_send_cmd(cmd, XFER_READ, arg, buf.data(), len, &got);
    EXPECT_EQ(r, 0) << "read of command " << int(cmd) << " arg " << arg;
    buf.resize(got);
    return buf;
}

std::vector<uint8_t> sim_test::status() { return read(48, 5, 272); }

bool sim_test::wait_for(const std::function<bool()>& pred, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

private_net::private_net()
{
    if (::geteuid() != 0) {
        reason = "private network namespaces need root";
        return;
    }
    static std::atomic<int> counter{0};
    std::string tag = std::to_string(::getpid()) + "x" + std::to_string(counter++);
    host_ns = "bsimh" + tag;
    board_ns = "bsimb" + tag;
    veth_host = "vh" + tag;
    veth_board = "vb" + tag;
    original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    bool ok = original >= 0 && run("ip netns add " + host_ns) && run("ip netns add " + board_ns) &&
              run("ip link add " + veth_host + " mtu 1500 type veth peer name " + veth_board + " mtu 1500") &&
              run("ip link set " + veth_host + " netns " + host_ns) &&
              run("ip link set " + veth_board + " netns " + board_ns) &&
              run("ip -n " + host_ns + " addr add 10.231.0.1/24 dev " + veth_host) &&
              run("ip -n " + board_ns + " addr add 10.231.0.2/24 dev " + veth_board) &&
              run("ip -n " + board_ns + " addr add 10.231.0.3/24 dev " + veth_board) &&
              run("ip -n " + board_ns + " addr add 192.168.8.123/24 dev " + veth_board) &&
              run("ip -n " + host_ns + " link set " + veth_host + " up") &&
              run("ip -n " + board_ns + " link set " + veth_board + " up") &&
              run("ip -n " + host_ns + " route add 224.0.0.0/4 dev " + veth_host) &&
              run("ip -n " + board_ns + " route add 224.0.0.0/4 dev " + veth_board) &&
              run("ip -n " + host_ns + " route add 192.168.8.0/24 dev " + veth_host);
    if (!ok) {
        if (reason.empty()) reason = "cannot open this thread's network namespace";
        return;
    }
    made = true;
    // Give the veth pair a moment to come up before multicast goes out.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

private_net::~private_net()
{
    leave();
    // Deleting a namespace removes the veth end in it, and with it the pair.
    if (!host_ns.empty()) std::system(("ip netns del " + host_ns + " 2>/dev/null").c_str());
    if (!board_ns.empty()) std::system(("ip netns del " + board_ns + " 2>/dev/null").c_str());
    if (original >= 0) ::close(original);
}

bool private_net::run(const std::string& cmd)
{
    if (std::system((cmd + " 2>/dev/null").c_str()) == 0) return true;
    reason = "failed: " + cmd;
    return false;
}

bool private_net::enter(const std::string& ns)
{
    int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return ok;
}

bool private_net::enter_host_side() { return made && enter(host_ns); }
bool private_net::enter_board_side() { return made && enter(board_ns); }

void private_net::leave()
{
    if (original >= 0) ::setns(original, CLONE_NEWNET);
}
