#include "user_net.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

bool write_file(const char* path, const std::string& text)
{
    std::ofstream f(path);
    f << text;
    f.close();
    return bool(f);
}

bool run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace

bool user_net::fail(const std::string& why)
{
    reason = why;
    return false;
}

user_net::user_net(const std::vector<std::string>& host_addrs, const std::vector<std::string>& board_addrs)
{
    if (std::system("command -v ip >/dev/null 2>&1 && command -v nsenter >/dev/null 2>&1") != 0) {
        fail("needs the ip and nsenter commands");
        return;
    }
    const unsigned uid = ::getuid(), gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        fail("user namespaces are not available");
        return;
    }
    if (!write_file("/proc/self/setgroups", "deny") || !write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        fail("cannot map the user into its namespace");
        return;
    }
    host_fd = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (host_fd < 0 || ::unshare(CLONE_NEWNET) != 0) {
        fail("cannot make the board's network namespace");
        return;
    }
    board_fd = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (board_fd < 0 || ::setns(host_fd, CLONE_NEWNET) != 0) {
        fail("cannot switch between the namespaces");
        return;
    }
    // Commands for the board side enter it through this process's descriptor.
    const std::string pid = std::to_string(::getpid());
    const std::string board = "nsenter --net=/proc/" + pid + "/fd/" + std::to_string(board_fd) + " ";
    bool good = run("ip link set lo up") && run(board + "ip link set lo up") &&
                run(board + "ip link add vb mtu 1500 type veth peer name vh netns " + pid);
    for (const auto& a : host_addrs) good = good && run("ip addr add " + a + "/24 dev vh");
    for (const auto& a : board_addrs) good = good && run(board + "ip addr add " + a + "/24 dev vb");
    good = good && run("ip link set vh up") && run(board + "ip link set vb up") &&
           run("ip route add 224.0.0.0/4 dev vh") && run(board + "ip route add 224.0.0.0/4 dev vb");
    // The host side reaches every board subnet over the pair.
    for (const auto& a : board_addrs)
        if (good) run("ip route add " + a.substr(0, a.rfind('.')) + ".0/24 dev vh");
    if (!good) {
        fail("cannot set up the veth pair");
        return;
    }
    made = true;
}

user_net::~user_net()
{
    if (host_fd >= 0) ::close(host_fd);
    if (board_fd >= 0) ::close(board_fd);
}

bool user_net::enter_host_side() { return made && ::setns(host_fd, CLONE_NEWNET) == 0; }
bool user_net::enter_board_side() { return made && ::setns(board_fd, CLONE_NEWNET) == 0; }
