// Windows side of the bounded connect and of the waits a second thread can
// interrupt: connect_socket_within, waker, wait_readable_or_woken and
// error_is_timeout.
#include <atomic>

#include "platform_win32.h"

namespace vplat {

using namespace win32;

int connect_socket_within(socket_t s, const vesk_addr& addr, int timeout_ms)
{
    u_long on = 1;
    if (::ioctlsocket(sk(s), FIONBIO, &on) == SOCKET_ERROR) return -1;
    sockaddr_in sa = to_sockaddr(addr);
    int err = 0;
    if (::connect(sk(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
        err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK) {
            // Windows reports a refused connect in the exception set.
            fd_set wr, ex;
            FD_ZERO(&wr);
            FD_ZERO(&ex);
            FD_SET(sk(s), &wr);
            FD_SET(sk(s), &ex);
            timeval tv{};
            tv.tv_sec = timeout_ms / 1000;
            tv.tv_usec = (timeout_ms % 1000) * 1000;
            int w = ::select(0, nullptr, &wr, &ex, &tv);
            if (w == 0) {
                err = WSAETIMEDOUT;
            } else if (w == SOCKET_ERROR) {
                err = WSAGetLastError();
            } else if (FD_ISSET(sk(s), &ex)) {
                int e = 0;
                int n = sizeof e;
                ::getsockopt(sk(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&e), &n);
                err = e != 0 ? e : WSAECONNREFUSED;
            } else {
                err = 0;
            }
        }
    }
    u_long off = 0;
    ::ioctlsocket(sk(s), FIONBIO, &off);
    if (err != 0) {
        WSASetLastError(err);
        return -1;
    }
    return 0;
}

// A waker is a datagram socket on loopback that sends itself a byte per
// signal, so that select can wait on it beside the link's socket (Windows
// cannot select on an event).
struct waker_state {
    SOCKET sock = INVALID_SOCKET;
    std::atomic<bool> signalled{false};
};

namespace {
waker_state* state_of(intptr_t h) { return reinterpret_cast<waker_state*>(h); }
}  // namespace

waker::waker() : h(reinterpret_cast<intptr_t>(new waker_state))
{
    ensure_started();
    waker_state* st = state_of(h);
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return;  // signals still work, by looking in slices
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int n = sizeof sa;
    u_long on = 1;
    if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &n) == SOCKET_ERROR ||
        ::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR ||
        ::ioctlsocket(s, FIONBIO, &on) == SOCKET_ERROR) {
        ::closesocket(s);
        return;
    }
    st->sock = s;
}

waker::~waker()
{
    waker_state* st = state_of(h);
    if (st->sock != INVALID_SOCKET) ::closesocket(st->sock);
    delete st;
}

void waker::signal()
{
    waker_state* st = state_of(h);
    st->signalled = true;
    char one = 1;
    if (st->sock != INVALID_SOCKET) ::send(st->sock, &one, 1, 0);  // a full queue is still a signal
}

void waker::drain()
{
    waker_state* st = state_of(h);
    st->signalled = false;
    char buf[64];
    if (st->sock != INVALID_SOCKET)
        while (::recv(st->sock, buf, sizeof buf, 0) > 0) {
        }
}

int wait_readable_or_woken(socket_t s, waker& w, int timeout_ms)
{
    waker_state* st = state_of(w.handle());
    int left = timeout_ms;
    for (;;) {
        if (st->signalled) return 2;
        if (is_shut(sk(s))) return 1;
        int ms = left < slice_ms ? left : slice_ms;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(sk(s), &set);
        if (st->sock != INVALID_SOCKET) FD_SET(st->sock, &set);
        timeval tv{};
        tv.tv_sec = ms / 1000;
        tv.tv_usec = (ms % 1000) * 1000;
        int r = ::select(0, &set, nullptr, nullptr, &tv);
        if (r == SOCKET_ERROR) return -1;
        if (r > 0 && st->sock != INVALID_SOCKET && FD_ISSET(st->sock, &set)) {
            // The byte only wakes; the flag says whether a signal stands (a
            // byte sent after a drain took its signal back is left over).
            char buf[64];
            while (::recv(st->sock, buf, sizeof buf, 0) > 0) {
            }
        }
        if (st->signalled) return 2;
        if (r > 0 && FD_ISSET(sk(s), &set)) return 1;
        left -= ms;
        if (left <= 0) return 0;
    }
}

bool error_is_timeout(int err) { return err == WSAEWOULDBLOCK || err == WSAETIMEDOUT; }

}  // namespace vplat
