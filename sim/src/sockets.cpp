#include "sockets.h"

namespace bsim {

bool to_addr(const std::string& ip, uint16_t port, vesk_addr& out)
{
    out = vesk_addr{};
    if (!vplat::parse_ipv4(ip.empty() ? "0.0.0.0" : ip.c_str(), &out)) return false;
    out.port = port;
    return true;
}

std::string addr_text(const vesk_addr& a) { return vplat::format_ipv4(a) + ":" + std::to_string(a.port); }

sock_t bound_socket(sock_kind kind, const std::string& ip, uint16_t port, std::string* why)
{
    vesk_addr a;
    if (!to_addr(ip, port, a)) {
        if (why) *why = "bad address " + ip;
        return no_socket;
    }
    sock_t s = kind == sock_kind::stream ? vplat::tcp_socket() : vplat::udp_socket();
    if (s == no_socket) {
        if (why) *why = "socket: error " + std::to_string(vplat::last_error());
        return no_socket;
    }
    vplat::set_reuseaddr(s, true);
    if (vplat::bind_socket(s, a) != 0) {
        if (why) *why = "bind " + ip + ":" + std::to_string(port) + ": error " + std::to_string(vplat::last_error());
        vplat::close_socket(s);
        return no_socket;
    }
    return s;
}

bool send_all(sock_t s, const uint8_t* data, size_t len) { return vplat::send_bytes(s, data, len) == long(len); }

void close_fd(sock_t& s)
{
    vplat::close_socket(s);
    s = no_socket;
}

}  // namespace bsim
