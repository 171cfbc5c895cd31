// The thin operating-system layer behind the link library. Every socket,
// adapter, semaphore, sleep and debug-output call of the libraries goes
// through here; one implementation file per operating system sits behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vesk_addr.h"
#include "vesk_export.h"

namespace vplat {

// Wide enough for a Windows SOCKET (a pointer-sized handle) without
// truncation; invalid_socket is the same bits as INVALID_SOCKET there.
using socket_t = intptr_t;
constexpr socket_t invalid_socket = -1;

// The socket layer is started by the first call that needs it and stays up
// until the process ends, so that no object's lifetime (a link object
// destroyed while a test peer or another link still has sockets, or one
// built while the library is being loaded) can tear it down under others.
VESK_API void net_startup();
VESK_API void net_cleanup();

VESK_API socket_t tcp_socket();
VESK_API socket_t udp_socket();
VESK_API void close_socket(socket_t s);
// Ends both directions so that a thread blocked on the socket wakes; the
// descriptor stays valid until close_socket.
VESK_API void shutdown_socket(socket_t s);

VESK_API int set_reuseaddr(socket_t s, bool on);
VESK_API int set_nodelay(socket_t s, bool on);
VESK_API int set_recv_timeout_ms(socket_t s, int ms);
VESK_API int set_multicast_loop(socket_t s, bool on);
VESK_API int set_multicast_if(socket_t s, const vesk_addr& iface);
VESK_API int join_multicast(socket_t s, const vesk_addr& group, const vesk_addr& iface);

VESK_API int bind_socket(socket_t s, const vesk_addr& addr);
VESK_API int connect_socket(socket_t s, const vesk_addr& addr);
// As connect_socket, but gives up after timeout_ms (-1 with last_error() set
// to the platform's time-out code). The socket is blocking again afterwards.
VESK_API int connect_socket_within(socket_t s, const vesk_addr& addr, int timeout_ms);
VESK_API int listen_socket(socket_t s, int backlog);
VESK_API socket_t accept_socket(socket_t s, vesk_addr* peer);
VESK_API int local_address(socket_t s, vesk_addr* addr);

// Byte counts, or -1 with last_error() set.
VESK_API long send_bytes(socket_t s, const void* data, size_t len);
// One send of two pieces back to back (header and payload without a copy).
VESK_API long send_pair(socket_t s, const void* a, size_t a_len, const void* b, size_t b_len);
VESK_API long recv_bytes(socket_t s, void* data, size_t len);
VESK_API long send_to(socket_t s, const void* data, size_t len, const vesk_addr& to);
VESK_API long recv_from(socket_t s, void* data, size_t len, vesk_addr* from);

// 1 readable, 0 time-out, -1 failure.
VESK_API int wait_readable(socket_t s, int timeout_ms);

// Lets one thread interrupt another's wait on a socket.
class VESK_API waker {
public:
    waker();
    ~waker();
    waker(const waker&) = delete;
    waker& operator=(const waker&) = delete;
    void signal();
    // Takes back every signal given so far.
    void drain();
    intptr_t handle() const { return h; }

private:
    intptr_t h;
};

// As wait_readable, but also ends when w is signalled: 2 woken (checked
// before the socket), 1 readable, 0 time-out, -1 failure.
VESK_API int wait_readable_or_woken(socket_t s, waker& w, int timeout_ms);

VESK_API int last_error();
// Interrupted, would-block and timed-out reads: not a lost link.
VESK_API bool error_is_transient(int err);
// A receive that ran into the time-out set by set_recv_timeout_ms.
VESK_API bool error_is_timeout(int err);
// The code reported when a peer stops in the middle of a frame it announced.
VESK_API int error_stalled();

// Dotted text to address; an empty text gives the wildcard address.
VESK_API bool parse_ipv4(const char* text, vesk_addr* out);
VESK_API std::string format_ipv4(const vesk_addr& addr);

// Interface types as the discovery filter knows them.
enum adapter_type : int {
    IF_OTHER = 1,
    IF_ETHERNET = 6,
    IF_TOKEN_RING = 9,
    IF_FDDI = 15,
    IF_PPP = 23,
    IF_LOOPBACK = 24,
    IF_SLIP = 28,
    IF_WIRELESS = 71,
    IF_TUNNEL = 131,
};

struct adapter {
    std::string name;
    int type;
    std::string ipv4;  // first IPv4 address, dotted; "0.0.0.0" when none
};

// The local adapters in the platform's order; false when the platform call fails.
VESK_API bool list_adapters(std::vector<adapter>& out);

VESK_API void sleep_ms(unsigned ms);

// An unnamed semaphore whose count starts at 0 and never exceeds 1: a
// release at 1 changes nothing.
class VESK_API semaphore1 {
public:
    semaphore1();
    ~semaphore1();
    semaphore1(const semaphore1&) = delete;
    semaphore1& operator=(const semaphore1&) = delete;
    void release();
    void acquire();
    bool try_acquire();

private:
    struct state;
    state* st;
};

// True once the process has begun to end and other threads may already be
// gone (Windows stops them before libraries are unloaded): nothing may wait
// for another thread then.
VESK_API bool process_ending();

// Files. Paths are UTF-8 text (text that is not valid UTF-8 is taken in the
// system's narrow code page where the platform has one); positions and
// sizes are 64-bit everywhere.
VESK_API std::FILE* open_file(const char* path, const char* mode);
VESK_API int seek_file(std::FILE* f, long long offset, int whence);
VESK_API long long tell_file(std::FILE* f);
VESK_API int remove_file(const char* path);

// Debug-output channel. Each call writes one trace text; by default to the
// platform's debug output (standard error on Linux, the debugger channel on
// Windows). A sink installed here receives the texts instead.
using debug_sink = void (*)(void* ctx, const char* text);
VESK_API void debug_output(const char* text);
VESK_API void set_debug_sink(debug_sink sink, void* ctx);
// printf-style into a 1024-byte buffer; a longer text is cut.
VESK_API void debug_printf(const char* fmt, ...) VESK_PRINTF_FORMAT(1, 2);

}  // namespace vplat
