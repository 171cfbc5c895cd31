// Small socket helpers of the simulator, on the link library's platform
// layer so that the engine builds wherever the libraries do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vesk_platform.h"

namespace bsim {

using sock_t = vplat::socket_t;
constexpr sock_t no_socket = vplat::invalid_socket;

enum class sock_kind { stream, datagram };

bool to_addr(const std::string& ip, uint16_t port, vesk_addr& out);
std::string addr_text(const vesk_addr& a);
// A bound socket, or no_socket with *why set.
sock_t bound_socket(sock_kind kind, const std::string& ip, uint16_t port, std::string* why);
// Sends everything; false when the peer is gone.
bool send_all(sock_t s, const uint8_t* data, size_t len);
void close_fd(sock_t& s);

}  // namespace bsim
