// Private: helpers shared by the files of the Windows platform layer.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "vesk_platform.h"

static_assert(sizeof(SOCKET) == sizeof(vplat::socket_t), "a SOCKET fits the handle type without truncation");

namespace vplat::win32 {

inline SOCKET sk(socket_t s) { return static_cast<SOCKET>(s); }
inline socket_t from_sk(SOCKET s) { return s == INVALID_SOCKET ? invalid_socket : static_cast<socket_t>(s); }
inline int result(int r) { return r == SOCKET_ERROR ? -1 : r; }

// Starts Windows Sockets once for the whole process (see net_startup).
void ensure_started();

sockaddr_in to_sockaddr(const vesk_addr& a);
vesk_addr from_sockaddr(const sockaddr_in& sa);

// Whether this side has shut the socket down. A blocking recv on Windows is
// not reliably woken by shutdown from another thread, so reads and waits
// look in slices of slice_ms and end as at the peer's end of stream once
// their socket is listed.
bool is_shut(SOCKET s);
void mark_shut(SOCKET s, bool shut);
// The receive time-out set on a socket (0: none).
void note_recv_timeout(SOCKET s, int ms);
int recv_timeout_of(SOCKET s);
constexpr int slice_ms = 50;

// select on one socket: 1 readable, 0 time-out, -1 failure.
int select_readable(SOCKET s, int ms);

}  // namespace vplat::win32
