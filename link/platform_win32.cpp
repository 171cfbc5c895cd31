// Windows implementation of the platform layer: Windows Sockets 2, IP
// Helper, kernel semaphores, Sleep and the debugger output channel.
#include "platform_win32.h"

#include <iphlpapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "debug_channel.h"

namespace vplat {

namespace win32 {

// One start of Windows Sockets for the whole process, made by the first
// call that needs it rather than by a constructor: a link object may be
// built while its library is being loaded, where starting the socket layer
// is not allowed, and a link object ending must not close sockets that test
// peers or other links still use. The layer ends with the process.
void ensure_started()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

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

namespace {
// Sockets shut down on this side, and the receive time-outs set on sockets.
// Closing takes a socket off both, since the handle value may be handed out
// again.
std::mutex shut_mutex;
std::set<SOCKET> shut_sockets;
std::map<SOCKET, int> recv_timeouts;
}  // namespace

bool is_shut(SOCKET s)
{
    std::lock_guard<std::mutex> g(shut_mutex);
    return shut_sockets.count(s) != 0;
}

void mark_shut(SOCKET s, bool shut)
{
    std::lock_guard<std::mutex> g(shut_mutex);
    if (shut) {
        shut_sockets.insert(s);
    } else {
        shut_sockets.erase(s);
        recv_timeouts.erase(s);
    }
}

void note_recv_timeout(SOCKET s, int ms)
{
    std::lock_guard<std::mutex> g(shut_mutex);
    if (ms > 0)
        recv_timeouts[s] = ms;
    else
        recv_timeouts.erase(s);
}

int recv_timeout_of(SOCKET s)
{
    std::lock_guard<std::mutex> g(shut_mutex);
    auto it = recv_timeouts.find(s);
    return it == recv_timeouts.end() ? 0 : it->second;
}

int select_readable(SOCKET s, int ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    int r = ::select(0, &set, nullptr, nullptr, &tv);
    if (r == SOCKET_ERROR) return -1;
    return r > 0 ? 1 : 0;
}

}  // namespace win32

using namespace win32;

void net_startup() { ensure_started(); }
void net_cleanup() {}

socket_t tcp_socket()
{
    ensure_started();
    return from_sk(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

socket_t udp_socket()
{
    ensure_started();
    return from_sk(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
}

void close_socket(socket_t s)
{
    if (s == invalid_socket) return;
    mark_shut(sk(s), false);
    ::closesocket(sk(s));
}

void shutdown_socket(socket_t s)
{
    if (s == invalid_socket) return;
    mark_shut(sk(s), true);
    ::shutdown(sk(s), SD_BOTH);
}

int set_reuseaddr(socket_t s, bool on)
{
    BOOL v = on ? TRUE : FALSE;
    return result(::setsockopt(sk(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&v), sizeof v));
}

int set_nodelay(socket_t s, bool on)
{
    BOOL v = on ? TRUE : FALSE;
    return result(::setsockopt(sk(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&v), sizeof v));
}

int set_recv_timeout_ms(socket_t s, int ms)
{
    DWORD v = static_cast<DWORD>(ms > 0 ? ms : 0);
    int r = result(::setsockopt(sk(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&v), sizeof v));
    if (r == 0) note_recv_timeout(sk(s), ms);  // recv_bytes waits in slices and keeps it itself
    return r;
}

int set_multicast_loop(socket_t s, bool on)
{
    // Windows Sockets takes a DWORD here; a one-byte value is refused.
    DWORD v = on ? 1 : 0;
    return result(::setsockopt(sk(s), IPPROTO_IP, IP_MULTICAST_LOOP, reinterpret_cast<const char*>(&v), sizeof v));
}

int set_multicast_if(socket_t s, const vesk_addr& iface)
{
    in_addr a{};
    std::memcpy(&a.s_addr, iface.ip, 4);
    return result(::setsockopt(sk(s), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&a), sizeof a));
}

int join_multicast(socket_t s, const vesk_addr& group, const vesk_addr& iface)
{
    ip_mreq m{};
    std::memcpy(&m.imr_multiaddr.s_addr, group.ip, 4);
    std::memcpy(&m.imr_interface.s_addr, iface.ip, 4);
    return result(::setsockopt(sk(s), IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&m), sizeof m));
}

int bind_socket(socket_t s, const vesk_addr& addr)
{
    sockaddr_in sa = to_sockaddr(addr);
    return result(::bind(sk(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa));
}

int connect_socket(socket_t s, const vesk_addr& addr)
{
    sockaddr_in sa = to_sockaddr(addr);
    return result(::connect(sk(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa));
}

int listen_socket(socket_t s, int backlog) { return result(::listen(sk(s), backlog)); }

socket_t accept_socket(socket_t s, vesk_addr* peer)
{
    sockaddr_in sa{};
    int n = sizeof sa;
    SOCKET c = ::accept(sk(s), reinterpret_cast<sockaddr*>(&sa), &n);
    if (c == INVALID_SOCKET) return invalid_socket;
    if (peer) *peer = from_sockaddr(sa);
    return from_sk(c);
}

int local_address(socket_t s, vesk_addr* addr)
{
    sockaddr_in sa{};
    int n = sizeof sa;
    if (::getsockname(sk(s), reinterpret_cast<sockaddr*>(&sa), &n) == SOCKET_ERROR) return -1;
    *addr = from_sockaddr(sa);
    return 0;
}

long send_bytes(socket_t s, const void* data, size_t len)
{
    const char* p = static_cast<const char*>(data);
    size_t left = len;
    while (left > 0) {
        int chunk = left > 0x40000000u ? 0x40000000 : static_cast<int>(left);
        int n = ::send(sk(s), p, chunk, 0);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEINTR) continue;
            return -1;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return static_cast<long>(len);
}

long send_pair(socket_t s, const void* a, size_t a_len, const void* b, size_t b_len)
{
    WSABUF bufs[2];
    bufs[0].buf = const_cast<char*>(static_cast<const char*>(a));
    bufs[0].len = static_cast<ULONG>(a_len);
    bufs[1].buf = const_cast<char*>(static_cast<const char*>(b));
    bufs[1].len = static_cast<ULONG>(b_len);
    DWORD sent = 0;
    if (::WSASend(sk(s), bufs, b_len > 0 ? 2 : 1, &sent, 0, nullptr, nullptr) == SOCKET_ERROR) return -1;
    size_t total = a_len + b_len;
    // A blocking send hands over everything; finish a partial one anyway.
    if (sent < a_len) {
        if (send_bytes(s, static_cast<const char*>(a) + sent, a_len - sent) < 0) return -1;
        sent = static_cast<DWORD>(a_len);
    }
    if (sent < total && send_bytes(s, static_cast<const char*>(b) + (sent - a_len), total - sent) < 0) return -1;
    return static_cast<long>(total);
}

long recv_bytes(socket_t s, void* data, size_t len)
{
    int cap = len > 0x40000000u ? 0x40000000 : static_cast<int>(len);
    // The receive time-out, when one is set, ends the wait as a timed-out
    // recv would.
    int timeout = recv_timeout_of(sk(s));
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    for (;;) {
        if (is_shut(sk(s))) return 0;
        int ms = slice_ms;
        if (timeout > 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                WSASetLastError(WSAETIMEDOUT);
                return -1;
            }
            if (left.count() < ms) ms = static_cast<int>(left.count());
        }
        int w = select_readable(sk(s), ms);
        if (w < 0) return -1;
        if (w == 0) continue;
        int n = ::recv(sk(s), static_cast<char*>(data), cap, 0);
        if (n == SOCKET_ERROR) {
            int err = WSAGetLastError();
            if (is_shut(sk(s))) return 0;
            if (err == WSAEINTR) continue;
            WSASetLastError(err);
            return -1;
        }
        return n;
    }
}

long send_to(socket_t s, const void* data, size_t len, const vesk_addr& to)
{
    sockaddr_in sa = to_sockaddr(to);
    int n = ::sendto(sk(s), static_cast<const char*>(data), static_cast<int>(len), 0,
                     reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    return n == SOCKET_ERROR ? -1 : n;
}

long recv_from(socket_t s, void* data, size_t len, vesk_addr* from)
{
    sockaddr_in sa{};
    int n = sizeof sa;
    int r = ::recvfrom(sk(s), static_cast<char*>(data), static_cast<int>(len), 0, reinterpret_cast<sockaddr*>(&sa), &n);
    if (r == SOCKET_ERROR) {
        // A datagram longer than the buffer: its first bytes were read.
        if (WSAGetLastError() != WSAEMSGSIZE) return -1;
        r = static_cast<int>(len);
    }
    if (from) *from = from_sockaddr(sa);
    return r;
}

int wait_readable(socket_t s, int timeout_ms)
{
    // In slices, so that a shutdown on this side ends the wait as readable
    // (the read that follows then sees the end of the stream).
    int left = timeout_ms;
    for (;;) {
        if (is_shut(sk(s))) return 1;
        int ms = left < slice_ms ? left : slice_ms;
        int r = select_readable(sk(s), ms);
        if (r != 0) return r;
        left -= ms;
        if (left <= 0) return 0;
    }
}

int last_error() { return WSAGetLastError(); }

bool error_is_transient(int err) { return err == WSAEINTR || err == WSAEWOULDBLOCK || err == WSAETIMEDOUT; }

int error_stalled() { return WSAECONNABORTED; }

bool list_adapters(std::vector<adapter>& out)
{
    out.clear();
    // Start with room for one record; when the platform says that is too
    // small, ask again with the size it reported (the list may grow between
    // the two calls, so a few rounds are allowed).
    ULONG size = sizeof(IP_ADAPTER_INFO);
    std::vector<unsigned char> buf;
    DWORD r = ERROR_BUFFER_OVERFLOW;
    for (int round = 0; round < 4 && r == ERROR_BUFFER_OVERFLOW; ++round) {
        buf.assign(size, 0);
        r = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buf.data()), &size);
    }
    if (r == ERROR_NO_DATA) return true;  // no adapters at all
    if (r != NO_ERROR) return false;
    for (auto* a = reinterpret_cast<IP_ADAPTER_INFO*>(buf.data()); a; a = a->Next) {
        adapter entry;
        entry.name = a->AdapterName;
        entry.type = static_cast<int>(a->Type);
        entry.ipv4 = a->IpAddressList.IpAddress.String;
        if (entry.ipv4.empty()) entry.ipv4 = "0.0.0.0";
        out.push_back(entry);
    }
    return true;
}

void sleep_ms(unsigned ms) { ::Sleep(ms); }

struct semaphore1::state {
    HANDLE handle;
};

semaphore1::semaphore1() : st(new state{::CreateSemaphoreA(nullptr, 0, 1, nullptr)})
{
    // Without a kernel semaphore nothing could ever be handed over.
    if (st->handle == nullptr) std::abort();
}

semaphore1::~semaphore1()
{
    ::CloseHandle(st->handle);
    delete st;
}

void semaphore1::release()
{
    // At the maximum count the release fails and the count stays at 1.
    ::ReleaseSemaphore(st->handle, 1, nullptr);
}

void semaphore1::acquire() { ::WaitForSingleObject(st->handle, INFINITE); }

bool semaphore1::try_acquire() { return ::WaitForSingleObject(st->handle, 0) == WAIT_OBJECT_0; }

bool process_ending()
{
    // True while ExitProcess detaches the libraries, after it has ended
    // every other thread.
    using query = BOOLEAN(WINAPI*)();
    static query q = reinterpret_cast<query>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlDllShutdownInProgress")));
    return q != nullptr && q() != 0;
}

namespace {

// UTF-8 first; text that is not valid UTF-8 in the ANSI code page.
std::wstring widen(const char* text)
{
    for (UINT cp : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        DWORD flags = cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        int n = ::MultiByteToWideChar(cp, flags, text, -1, nullptr, 0);
        if (n <= 0) continue;
        std::wstring w(static_cast<size_t>(n), L'\0');
        if (::MultiByteToWideChar(cp, flags, text, -1, w.data(), n) != n) continue;
        w.resize(static_cast<size_t>(n - 1));
        return w;
    }
    return {};
}

}  // namespace

std::FILE* open_file(const char* path, const char* mode)
{
    if (path == nullptr || mode == nullptr) return nullptr;
    std::wstring wpath = widen(path);
    std::wstring wmode = widen(mode);
    if (wpath.empty() || wmode.empty()) return nullptr;
    return ::_wfopen(wpath.c_str(), wmode.c_str());
}

int seek_file(std::FILE* f, long long offset, int whence) { return ::_fseeki64(f, offset, whence); }

long long tell_file(std::FILE* f) { return ::_ftelli64(f); }

int remove_file(const char* path)
{
    std::wstring wpath = path ? widen(path) : std::wstring();
    return wpath.empty() ? -1 : ::_wremove(wpath.c_str());
}

void debug_default_write(const char* text) { ::OutputDebugStringA(text); }

}  // namespace vplat
