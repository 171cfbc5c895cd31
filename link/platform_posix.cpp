// POSIX implementation of the platform layer (Linux).
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "debug_channel.h"
#include "vesk_platform.h"

namespace vplat {

namespace {

sockaddr_in to_sockaddr(const vesk_addr& a)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(a.port);
    std::memcpy(&sa.sin_addr.s_addr, a.ip, 4);
    return sa;
}

vesk_addr from_sockaddr(const sockaddr_in& sa)
{
    vesk_addr a{};
    std::memcpy(a.ip, &sa.sin_addr.s_addr, 4);
    a.port = ntohs(sa.sin_port);
    return a;
}

int fd(socket_t s) { return static_cast<int>(s); }

}  // namespace

void net_startup() {}
void net_cleanup() {}

socket_t tcp_socket()
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return s < 0 ? invalid_socket : s;
}

socket_t udp_socket()
{
    int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return s < 0 ? invalid_socket : s;
}

void close_socket(socket_t s)
{
    if (s != invalid_socket) ::close(fd(s));
}

void shutdown_socket(socket_t s)
{
    if (s != invalid_socket) ::shutdown(fd(s), SHUT_RDWR);
}

int set_reuseaddr(socket_t s, bool on)
{
    int v = on ? 1 : 0;
    return ::setsockopt(fd(s), SOL_SOCKET, SO_REUSEADDR, &v, sizeof v);
}

int set_nodelay(socket_t s, bool on)
{
    int v = on ? 1 : 0;
    return ::setsockopt(fd(s), IPPROTO_TCP, TCP_NODELAY, &v, sizeof v);
}

int set_recv_timeout_ms(socket_t s, int ms)
{
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return ::setsockopt(fd(s), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

int set_multicast_loop(socket_t s, bool on)
{
    unsigned char v = on ? 1 : 0;
    return ::setsockopt(fd(s), IPPROTO_IP, IP_MULTICAST_LOOP, &v, sizeof v);
}

int set_multicast_if(socket_t s, const vesk_addr& iface)
{
    in_addr a{};
    std::memcpy(&a.s_addr, iface.ip, 4);
    return ::setsockopt(fd(s), IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a);
}

int join_multicast(socket_t s, const vesk_addr& group, const vesk_addr& iface)
{
    ip_mreq m{};
    std::memcpy(&m.imr_multiaddr.s_addr, group.ip, 4);
    std::memcpy(&m.imr_interface.s_addr, iface.ip, 4);
    return ::setsockopt(fd(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m);
}

int bind_socket(socket_t s, const vesk_addr& addr)
{
    sockaddr_in sa = to_sockaddr(addr);
    return ::bind(fd(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
}

int connect_socket(socket_t s, const vesk_addr& addr)
{
    sockaddr_in sa = to_sockaddr(addr);
    int r;
    do {
        r = ::connect(fd(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (r < 0 && errno == EINTR);
    return r;
}

int connect_socket_within(socket_t s, const vesk_addr& addr, int timeout_ms)
{
    int flags = ::fcntl(fd(s), F_GETFL);
    if (flags < 0 || ::fcntl(fd(s), F_SETFL, flags | O_NONBLOCK) < 0) return -1;
    sockaddr_in sa = to_sockaddr(addr);
    int r = ::connect(fd(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (r < 0 && (errno == EINPROGRESS || errno == EINTR)) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            pollfd p{fd(s), POLLOUT, 0};
            int w = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                if (w == 0) errno = ETIMEDOUT;
                r = -1;
                break;
            }
            int err = 0;
            socklen_t n = sizeof err;
            ::getsockopt(fd(s), SOL_SOCKET, SO_ERROR, &err, &n);
            r = err == 0 ? 0 : -1;
            if (err != 0) errno = err;
            break;
        }
    }
    int saved = errno;
    ::fcntl(fd(s), F_SETFL, flags);
    errno = saved;
    return r < 0 ? -1 : 0;
}

int listen_socket(socket_t s, int backlog) { return ::listen(fd(s), backlog); }

socket_t accept_socket(socket_t s, vesk_addr* peer)
{
    sockaddr_in sa{};
    socklen_t n = sizeof sa;
    int c = ::accept4(fd(s), reinterpret_cast<sockaddr*>(&sa), &n, SOCK_CLOEXEC);
    if (c < 0) return invalid_socket;
    if (peer) *peer = from_sockaddr(sa);
    return c;
}

int local_address(socket_t s, vesk_addr* addr)
{
    sockaddr_in sa{};
    socklen_t n = sizeof sa;
    if (::getsockname(fd(s), reinterpret_cast<sockaddr*>(&sa), &n) < 0) return -1;
    *addr = from_sockaddr(sa);
    return 0;
}

long send_bytes(socket_t s, const void* data, size_t len)
{
    // A send loops over partial writes so that one call hands over the whole
    // frame, as a blocking send does on the other platform.
    const char* p = static_cast<const char*>(data);
    size_t left = len;
    while (left > 0) {
        ssize_t n = ::send(fd(s), p, left, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return static_cast<long>(len);
}

long send_pair(socket_t s, const void* a, size_t a_len, const void* b, size_t b_len)
{
    iovec v[2] = {{const_cast<void*>(a), a_len}, {const_cast<void*>(b), b_len}};
    msghdr m{};
    m.msg_iov = v;
    m.msg_iovlen = 2;
    size_t total = a_len + b_len, sent = 0;
    while (sent < total) {
        ssize_t n = ::sendmsg(fd(s), &m, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        sent += static_cast<size_t>(n);
        // Step past what went out, for the rare partial send.
        size_t skip = static_cast<size_t>(n);
        while (m.msg_iovlen > 0 && skip >= m.msg_iov[0].iov_len) {
            skip -= m.msg_iov[0].iov_len;
            ++m.msg_iov;
            --m.msg_iovlen;
        }
        if (m.msg_iovlen > 0) {
            m.msg_iov[0].iov_base = static_cast<char*>(m.msg_iov[0].iov_base) + skip;
            m.msg_iov[0].iov_len -= skip;
        }
    }
    return static_cast<long>(total);
}

long recv_bytes(socket_t s, void* data, size_t len)
{
    ssize_t n;
    do {
        n = ::recv(fd(s), data, len, 0);
    } while (n < 0 && errno == EINTR);
    return n;
}

long send_to(socket_t s, const void* data, size_t len, const vesk_addr& to)
{
    sockaddr_in sa = to_sockaddr(to);
    return ::sendto(fd(s), data, len, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
}

long recv_from(socket_t s, void* data, size_t len, vesk_addr* from)
{
    sockaddr_in sa{};
    socklen_t n = sizeof sa;
    ssize_t r = ::recvfrom(fd(s), data, len, 0, reinterpret_cast<sockaddr*>(&sa), &n);
    if (r >= 0 && from) *from = from_sockaddr(sa);
    return r;
}

int wait_readable(socket_t s, int timeout_ms)
{
    pollfd p{};
    p.fd = fd(s);
    p.events = POLLIN;
    int r = ::poll(&p, 1, timeout_ms);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    if (p.revents & POLLNVAL) return -1;
    return 1;  // readable, hung up or in error: the read tells which
}

waker::waker() : h(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

waker::~waker()
{
    if (h >= 0) ::close(static_cast<int>(h));
}

void waker::signal()
{
    uint64_t one = 1;
    ssize_t n = ::write(static_cast<int>(h), &one, sizeof one);
    (void)n;  // a full counter is still a signal
}

void waker::drain()
{
    uint64_t v;
    ssize_t n = ::read(static_cast<int>(h), &v, sizeof v);
    (void)n;  // nothing to take is fine
}

int wait_readable_or_woken(socket_t s, waker& w, int timeout_ms)
{
    pollfd p[2] = {{static_cast<int>(w.handle()), POLLIN, 0}, {fd(s), POLLIN, 0}};
    int r = ::poll(p, 2, timeout_ms);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    if (p[0].revents & POLLIN) return 2;
    if (p[1].revents & POLLNVAL) return -1;
    return p[1].revents ? 1 : 0;
}

int last_error() { return errno; }

bool error_is_transient(int err)
{
    return err == EINTR || err == EAGAIN || err == EWOULDBLOCK || err == ETIMEDOUT;
}

bool error_is_timeout(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == ETIMEDOUT; }

int error_stalled() { return EPROTO; }

namespace {

int read_sys_int(const std::string& path, int fallback)
{
    std::ifstream f(path);
    int v;
    if (f >> v) return v;
    return fallback;
}

bool sys_exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Maps a Linux interface to the interface type numbers discovery filters on.
int adapter_type_of(const char* name, unsigned flags)
{
    if (flags & IFF_LOOPBACK) return IF_LOOPBACK;
    std::string base = std::string("/sys/class/net/") + name;
    if (sys_exists(base + "/wireless") || sys_exists(base + "/phy80211")) return IF_WIRELESS;
    switch (read_sys_int(base + "/type", -1)) {
    case ARPHRD_ETHER: return IF_ETHERNET;
    case ARPHRD_LOOPBACK: return IF_LOOPBACK;
    case ARPHRD_PPP: return IF_PPP;
    case ARPHRD_SLIP: return IF_SLIP;
    case ARPHRD_IEEE802_TR: return IF_TOKEN_RING;
    case ARPHRD_FDDI: return IF_FDDI;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE: return IF_TUNNEL;
    default: break;
    }
    return (flags & IFF_POINTOPOINT) ? IF_PPP : IF_OTHER;
}

}  // namespace

bool list_adapters(std::vector<adapter>& out)
{
    out.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (i->ifa_name == nullptr || !(i->ifa_flags & IFF_UP)) continue;
        bool seen = false;
        for (auto& a : out) seen = seen || a.name == i->ifa_name;
        if (seen) continue;  // the first IPv4 address of each adapter only
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
        adapter a;
        a.name = i->ifa_name;
        a.type = adapter_type_of(i->ifa_name, i->ifa_flags);
        a.ipv4 = format_ipv4(from_sockaddr(*reinterpret_cast<sockaddr_in*>(i->ifa_addr)));
        out.push_back(a);
    }
    ::freeifaddrs(list);
    return true;
}

void sleep_ms(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool process_ending() { return false; }

static_assert(sizeof(off_t) >= 8, "file positions are 64-bit");

std::FILE* open_file(const char* path, const char* mode) { return std::fopen(path, mode); }

int seek_file(std::FILE* f, long long offset, int whence) { return ::fseeko(f, static_cast<off_t>(offset), whence); }

long long tell_file(std::FILE* f) { return static_cast<long long>(::ftello(f)); }

int remove_file(const char* path) { return std::remove(path); }

void debug_default_write(const char* text)
{
    std::fputs(text, stderr);
}

}  // namespace vplat
