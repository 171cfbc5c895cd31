#include "fleet_net.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {
// A board's Ethernet: 100 Mbit/s, as the transfer benchmark shapes it.
const char* const SHAPE = " root tbf rate 100mbit burst 4kb latency 50ms";
}

fleet_net::fleet_net(const std::string& prefix, int boards) : prefix(prefix)
{
    if (::geteuid() != 0) {
        reason = "needs root to create network namespaces";
        return;
    }
    if (std::system("command -v ip >/dev/null 2>&1 && command -v tc >/dev/null 2>&1") != 0) {
        reason = "needs the ip and tc commands (iproute2)";
        return;
    }
    std::string tag = std::to_string(::getpid());
    host_ns = "fbh" + tag;
    bridge_ns = "fbr" + tag;
    original_ns = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    std::string in_bridge = "ip -n " + bridge_ns + " ";
    // The host side's own link stays unshaped: it carries every board's share.
    bool good = run("ip netns add " + host_ns) && run("ip netns add " + bridge_ns) &&
                run(in_bridge + "link add br0 type bridge") && run(in_bridge + "link set br0 up") &&
                run("ip -n " + host_ns + " link add vh type veth peer name up0 netns " + bridge_ns) &&
                run(in_bridge + "link set up0 master br0 up") &&
                run("ip -n " + host_ns + " addr add " + prefix + ".1/24 dev vh") &&
                run("ip -n " + host_ns + " link set vh up") && run("ip -n " + host_ns + " link set lo up") &&
                run("ip -n " + host_ns + " route add 224.0.0.0/4 dev vh");
    for (int i = 0; good && i < boards; ++i) {
        std::string ns = "fbb" + tag + "x" + std::to_string(i), port = "bp" + std::to_string(i);
        board_ns.push_back(ns);
        std::string in_board = "ip -n " + ns + " ";
        good = run("ip netns add " + ns) && run(in_board + "link add vb type veth peer name " + port + " netns " +
                                                bridge_ns) &&
               run(in_bridge + "link set " + port + " master br0 up") &&
               run(in_board + "addr add " + board_address(i) + "/24 dev vb") && run(in_board + "link set vb up") &&
               run(in_board + "link set lo up") && run(in_board + "route add 224.0.0.0/4 dev vb") &&
               run("ip netns exec " + ns + " tc qdisc add dev vb" + SHAPE) &&
               run("ip netns exec " + bridge_ns + " tc qdisc add dev " + port + SHAPE);
    }
    made = good && original_ns >= 0;
    if (!made) {
        reason = "could not set up the namespaces, the bridge or the shaping";
        return;
    }
    // The bridge forwards only once its ports have settled.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

fleet_net::~fleet_net()
{
    leave();
    for (const auto& ns : board_ns) run("ip netns del " + ns + " 2>/dev/null");
    if (!host_ns.empty()) run("ip netns del " + host_ns + " 2>/dev/null");
    if (!bridge_ns.empty()) run("ip netns del " + bridge_ns + " 2>/dev/null");
    if (original_ns >= 0) ::close(original_ns);
}

std::string fleet_net::board_address(int i) const { return prefix + "." + std::to_string(10 + i); }

bool fleet_net::run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

bool fleet_net::enter(const std::string& ns)
{
    int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return ok;
}

bool fleet_net::enter_board(int i) { return made && i >= 0 && size_t(i) < board_ns.size() && enter(board_ns[size_t(i)]); }
bool fleet_net::enter_host() { return made && enter(host_ns); }

void fleet_net::leave()
{
    if (original_ns >= 0) ::setns(original_ns, CLONE_NEWNET);
}
