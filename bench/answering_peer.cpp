#include "answering_peer.h"

#include <cstring>
#include <vector>

#include "vesk_platform.h"

bool read_exact(intptr_t s, unsigned char* p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        long r = vplat::recv_bytes(s, p + got, n - got);
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

bool send_all(intptr_t s, const unsigned char* p, size_t n)
{
    return vplat::send_bytes(s, p, n) == static_cast<long>(n);
}

answering_peer::answering_peer(const std::string& address, uint16_t port)
{
    vesk_addr a{};
    vplat::parse_ipv4(address.c_str(), &a);
    a.port = port;
    sock = vplat::tcp_socket();
    vplat::set_reuseaddr(sock, true);
    ok = vplat::bind_socket(sock, a) == 0 && vplat::listen_socket(sock, 8) == 0;
    if (ok) worker = std::thread([this] { run(); });
}

answering_peer::~answering_peer()
{
    stop = true;
    vplat::shutdown_socket(sock);
    if (worker.joinable()) worker.join();
    vplat::close_socket(sock);
}

void answering_peer::run()
{
    while (!stop) {
        if (vplat::wait_readable(sock, 50) <= 0) continue;
        intptr_t c = vplat::accept_socket(sock, nullptr);
        if (c < 0) continue;
        vplat::set_nodelay(c, true);
        serve(c);
        vplat::close_socket(c);
    }
}

void answering_peer::serve(intptr_t c)
{
    std::vector<unsigned char> in(VESK_FRAME_SIZE), out(VESK_FRAME_SIZE);
    while (read_exact(c, in.data(), 32)) {
        uint16_t type = static_cast<uint16_t>(in[4] | in[5] << 8);
        uint32_t len = in[28] | in[29] << 8 | in[30] << 16 | static_cast<uint32_t>(in[31]) << 24;
        if (len > VESK_MAX_PAYLOAD) return;
        if (type != XFER_READ && !read_exact(c, in.data() + 32, len)) return;
        uint32_t reply = type == XFER_WRITE ? 0 : len;
        std::memcpy(out.data(), in.data(), 32);
        out[6] = static_cast<unsigned char>(reply);
        out[7] = static_cast<unsigned char>(reply >> 8);
        if (type == XFER_EXCHANGE) std::memcpy(out.data() + 32, in.data() + 32, len);
        if (!send_all(c, out.data(), 32 + reply)) return;
    }
}
