#include "private_net.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

private_net::private_net(const std::vector<std::string>& host_addrs, const std::vector<std::string>& board_addrs)
{
    if (::geteuid() != 0) {
        reason = "needs root to create network namespaces";
        return;
    }
    if (std::system("command -v ip >/dev/null 2>&1") != 0) {
        reason = "needs the ip command (iproute2)";
        return;
    }
    static std::atomic<int> counter{0};
    std::string tag = std::to_string(::getpid()) + "x" + std::to_string(counter++);
    host_ns = "vkh" + tag;
    board_ns = "vkb" + tag;
    original_ns = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    std::string vh = "vh" + tag, vb = "vb" + tag;
    host_dev = vh;
    board_dev = vb;
    bool good = run("ip netns add " + host_ns) && run("ip netns add " + board_ns) &&
                run("ip -n " + host_ns + " link add " + vh + " mtu 1500 type veth peer name " + vb + " netns " +
                    board_ns);
    for (const auto& a : host_addrs) good = good && run("ip -n " + host_ns + " addr add " + a + "/24 dev " + vh);
    for (const auto& a : board_addrs) good = good && run("ip -n " + board_ns + " addr add " + a + "/24 dev " + vb);
    for (const auto& [ns, dev] : {std::pair{host_ns, vh}, std::pair{board_ns, vb}}) {
        good = good && run("ip -n " + ns + " link set lo up") && run("ip -n " + ns + " link set " + dev + " up") &&
               run("ip -n " + ns + " route add 224.0.0.0/4 dev " + dev);
    }
    // The host side reaches every board subnet over the pair, also where it
    // has no address of its own there (a route that exists already is fine).
    for (const auto& a : board_addrs)
        if (good) run("ip -n " + host_ns + " route add " + a.substr(0, a.rfind('.')) + ".0/24 dev " + vh + " 2>/dev/null");
    made = good && original_ns >= 0;
    if (!made) {
        reason = "could not set up the private namespaces";
        return;
    }
    // Give the pair a moment to come up before multicast goes out.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

private_net::~private_net()
{
    leave();
    if (!host_ns.empty()) run("ip netns del " + host_ns + " 2>/dev/null");
    if (!board_ns.empty()) run("ip netns del " + board_ns + " 2>/dev/null");
    if (original_ns >= 0) ::close(original_ns);
}

bool private_net::run_on_host_side(const std::string& cmd)
{
    return made && run("ip netns exec " + host_ns + " " + cmd);
}

bool private_net::run_on_board_side(const std::string& cmd)
{
    return made && run("ip netns exec " + board_ns + " " + cmd);
}

bool private_net::run(const std::string& cmd) { return std::system((cmd + " >/dev/null").c_str()) == 0; }

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
    if (original_ns >= 0) ::setns(original_ns, CLONE_NEWNET);
}
