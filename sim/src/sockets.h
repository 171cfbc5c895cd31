// Small POSIX socket helpers of the simulator.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace bsim {

bool to_addr(const std::string& ip, uint16_t port, sockaddr_in& out);
std::string addr_text(const sockaddr_in& a);
// A bound socket, or -1 with *why set.
int bound_socket(int type, const std::string& ip, uint16_t port, std::string* why);
// Sends everything; false when the peer is gone.
bool send_all(int fd, const uint8_t* data, size_t len);
void close_fd(int& fd);

}  // namespace bsim
