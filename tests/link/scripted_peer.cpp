#include "scripted_peer.h"

#include <unistd.h>

#include <chrono>
#include <cstring>

#include "vesk_platform.h"

namespace {
uint32_t le32(const std::vector<unsigned char>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

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
}  // namespace

uint32_t request_frame::arg() const { return le32(bytes, 8); }
uint32_t request_frame::crc() const { return le32(bytes, 12); }
uint32_t request_frame::data_len() const { return le32(bytes, 28); }

void peer_session::send(const std::vector<unsigned char>& b) { vplat::send_bytes(sock, b.data(), b.size()); }

void peer_session::send_bytewise(const std::vector<unsigned char>& b)
{
    for (unsigned char c : b) {
        vplat::send_bytes(sock, &c, 1);
        vplat::sleep_ms(1);
    }
}

void peer_session::hang_up()
{
    vplat::shutdown_socket(sock);
    hung_up = true;
}

std::vector<unsigned char> make_reply_len(uint16_t cmd, uint32_t arg, uint16_t reply_len, size_t payload_bytes)
{
    std::vector<unsigned char> r(32, 0);
    r.resize(32 + payload_bytes, 0x22);
    r[0] = 0xA5;
    r[1] = 0x5A;
    r[2] = static_cast<unsigned char>(cmd);
    r[3] = static_cast<unsigned char>(cmd >> 8);
    r[6] = static_cast<unsigned char>(reply_len);
    r[7] = static_cast<unsigned char>(reply_len >> 8);
    for (int i = 0; i < 4; ++i) r[8 + i] = static_cast<unsigned char>(arg >> (8 * i));
    return r;
}

std::vector<unsigned char> make_reply(uint16_t cmd, uint32_t arg, const std::vector<unsigned char>& payload,
                                      uint16_t magic)
{
    auto r = make_reply_len(cmd, arg, static_cast<uint16_t>(payload.size()), 0);
    r[0] = static_cast<unsigned char>(magic);
    r[1] = static_cast<unsigned char>(magic >> 8);
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

std::vector<unsigned char> default_reply(const request_frame& req)
{
    std::vector<unsigned char> payload;
    if (req.type() == 2) payload.assign(req.data_len(), 0x11);
    return make_reply(req.cmd(), req.arg(), payload);
}

std::string unique_loopback_address()
{
    static std::atomic<int> counter{0};
    unsigned pid = static_cast<unsigned>(::getpid());
    int n = counter++;
    return "127." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(pid & 0xFF) + "." +
           std::to_string(1 + n % 250);
}

scripted_peer::scripted_peer(script s) : scripted_peer(unique_loopback_address(), std::move(s)) {}

scripted_peer::scripted_peer(const std::string& address, script s) : addr(address), on_frame(std::move(s))
{
    vesk_addr a{};
    vplat::parse_ipv4(addr.c_str(), &a);
    a.port = VESK_TCP_PORT;
    listen_sock = vplat::tcp_socket();
    vplat::set_reuseaddr(listen_sock, true);
    if (vplat::bind_socket(listen_sock, a) != 0 || vplat::listen_socket(listen_sock, 4) != 0) {
        vplat::close_socket(listen_sock);
        listen_sock = -1;
        return;
    }
    worker = std::thread([this] { run(); });
}

scripted_peer::~scripted_peer()
{
    stopping = true;
    if (listen_sock >= 0) vplat::shutdown_socket(listen_sock);
    if (worker.joinable()) worker.join();
    vplat::close_socket(listen_sock);
}

void scripted_peer::set_script(script s)
{
    std::lock_guard<std::mutex> g(m);
    on_frame = std::move(s);
}

std::vector<request_frame> scripted_peer::received()
{
    std::lock_guard<std::mutex> g(m);
    return frames;
}

void scripted_peer::run()
{
    while (!stopping) {
        if (vplat::wait_readable(listen_sock, 50) <= 0) continue;
        intptr_t s = vplat::accept_socket(listen_sock, nullptr);
        if (s < 0) continue;
        ++accepted;
        serve(s);
        vplat::close_socket(s);
    }
}

void scripted_peer::serve(intptr_t s)
{
    peer_session session{*this, s};
    while (!stopping && !session.hung_up) {
        int w = vplat::wait_readable(s, 50);
        if (w == 0) continue;
        if (w < 0) return;
        request_frame f;
        f.bytes.resize(32);
        if (!read_exact(s, f.bytes.data(), 32)) return;
        if (f.type() != 2) {
            f.bytes.resize(32 + f.data_len());
            if (!read_exact(s, f.bytes.data() + 32, f.data_len())) return;
        }
        script sc;
        {
            std::lock_guard<std::mutex> g(m);
            frames.push_back(f);
            sc = on_frame;
        }
        if (sc)
            sc(session, f);
        else
            session.send(default_reply(f));
    }
}

trace_capture::trace_capture() { vplat::set_debug_sink(&trace_capture::sink, this); }
trace_capture::~trace_capture() { vplat::set_debug_sink(nullptr, nullptr); }

void trace_capture::sink(void* ctx, const char* text)
{
    auto* self = static_cast<trace_capture*>(ctx);
    std::lock_guard<std::mutex> g(self->m);
    self->texts.emplace_back(text);
}

std::vector<std::string> trace_capture::lines()
{
    std::lock_guard<std::mutex> g(m);
    return texts;
}

bool trace_capture::contains(const std::string& text)
{
    std::lock_guard<std::mutex> g(m);
    for (auto& t : texts)
        if (t == text) return true;
    return false;
}
