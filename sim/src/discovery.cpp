// Discovery: the board joins the multicast group on the discovery port and
// answers every valid 64-byte request by unicast to the sender, with its
// machine id at bytes 32-43. Answers leave from the board's own command
// address when it has one, so the host connects to the address it saw.
#include <cstring>

#include "server.h"
#include "sockets.h"
#include "vesk.h"

namespace bsim {

namespace {

constexpr size_t DATAGRAM = 64;

bool valid_request(const uint8_t* d, ssize_t n)
{
    return n == ssize_t(DATAGRAM) && get16(d) == MAGIC && get16(d + 2) == 1 && get16(d + 4) == T_READ &&
           get16(d + 6) == LEN_NONE && get32(d + 8) == 0;
}

// Payload: machine id (12), version word (4), board id (12), zeros.
std::vector<uint8_t> answer_datagram(const identity& id)
{
    std::vector<uint8_t> a(DATAGRAM, 0);
    put16(&a[0], MAGIC);
    put16(&a[2], 1);
    put16(&a[4], T_READ);
    put16(&a[6], uint16_t(DATAGRAM - HEAD));
    std::copy(id.machine_id.begin(), id.machine_id.end(), a.begin() + 32);
    put32(&a[44], uint32_t(id.product) << 24 | uint32_t(id.variant) << 16 | uint32_t(id.fw_major) << 8 | id.fw_minor);
    std::copy(id.board_id.begin(), id.board_id.end(), a.begin() + 48);
    put32(&a[12], payload_crc32(reinterpret_cast<const char*>(&a[32]), int(DATAGRAM - HEAD)));
    put32(&a[28], uint32_t(DATAGRAM - HEAD));
    return a;
}

}  // namespace

bool open_discovery(board::impl& b, std::string* why)
{
    const auto& c = b.cfg;
    b.udp_fd = bound_socket(sock_kind::datagram, c.udp_addr, c.udp_port, why);
    if (b.udp_fd == no_socket) return false;
    vesk_addr group{}, iface{};
    if (!to_addr(c.group, 0, group) || !to_addr(c.group_if, 0, iface)) {
        if (why) *why = "bad group or interface address";
        return false;
    }
    if (vplat::join_multicast(b.udp_fd, group, iface) != 0) {
        if (why) *why = "cannot join " + c.group + ": error " + std::to_string(vplat::last_error());
        return false;
    }
    if (c.tcp_addr != "0.0.0.0" && !c.tcp_addr.empty()) {
        b.answer_fd = bound_socket(sock_kind::datagram, c.tcp_addr, 0, why);
        if (b.answer_fd == no_socket) return false;
    }
    return true;
}

void serve_udp(board::impl& b)
{
    uint8_t d[512];
    while (b.run) {
        if (vplat::wait_readable(b.udp_fd, 20) <= 0) continue;
        vesk_addr from{};
        long n = vplat::recv_from(b.udp_fd, d, sizeof d, &from);
        if (n < 0) continue;
        std::vector<uint8_t> a;
        int copies = 1;
        {
            std::lock_guard<std::mutex> g(b.lock);
            if (!valid_request(d, n)) {
                b.trace("<- udp " + std::to_string(n) + " bytes from " + addr_text(from) + ": not a discovery request");
                continue;
            }
            ++b.cnt.discovery_requests;
            if (b.flt.discovery_silent) {
                b.trace("<- udp discovery from " + addr_text(from) + ", staying silent");
                continue;
            }
            copies = b.flt.discovery_twice ? 2 : 1;
            a = answer_datagram(b.st.id);
            b.cnt.discovery_answers += unsigned(copies);
            b.trace("<- udp discovery from " + addr_text(from) + "; -> answer" + (copies > 1 ? " twice" : "") +
                    " machine_id [" + hex_prefix(std::vector<uint8_t>(a.begin() + 32, a.begin() + 44), 12) + "]");
        }
        sock_t out = b.answer_fd != no_socket ? b.answer_fd : b.udp_fd;
        for (int i = 0; i < copies; ++i) vplat::send_to(out, a.data(), a.size(), from);
    }
}

}  // namespace bsim
