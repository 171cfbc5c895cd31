#include "scripted_peer.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "vesk_platform.h"

namespace {

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t le32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
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

constexpr uint32_t max_payload = 10208;

}  // namespace

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
    std::vector<unsigned char> r(32 + payload_bytes, 0x22);
    std::fill(r.begin(), r.begin() + 32, 0);
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

std::vector<unsigned char> default_answer(const request_frame& f, unsigned char fill)
{
    if (f.type == 2) return std::vector<unsigned char>(f.data_len, fill);
    if (f.type == 1) return f.payload();
    return {};
}

std::vector<unsigned char> default_reply(const request_frame& req)
{
    return make_reply(req.cmd, req.arg, default_answer(req, 0x11));
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

scripted_peer::scripted_peer(const std::string& address, script s, uint16_t port)
    : addr(address), on_frame(std::move(s))
{
    vesk_addr a{};
    vplat::parse_ipv4(addr.c_str(), &a);
    a.port = port;
    listen_sock = vplat::tcp_socket();
    vplat::set_reuseaddr(listen_sock, true);
    if (vplat::bind_socket(listen_sock, a) != 0 || vplat::listen_socket(listen_sock, 8) != 0) {
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
    intptr_t c = current;
    if (c >= 0) vplat::shutdown_socket(c);  // ends a blocking read of the session
    if (worker.joinable()) worker.join();
    vplat::close_socket(listen_sock);
}

void scripted_peer::set_script(script s)
{
    std::lock_guard<std::mutex> g(m);
    on_frame = std::move(s);
    on_answer = nullptr;
}

void scripted_peer::set_answer(answer a)
{
    std::lock_guard<std::mutex> g(m);
    on_answer = std::move(a);
    on_frame = nullptr;
}

void scripted_peer::reject_when(std::function<bool(const request_frame&)> pred)
{
    std::lock_guard<std::mutex> g(m);
    reject = std::move(pred);
}

std::vector<request_frame> scripted_peer::received()
{
    std::lock_guard<std::mutex> g(m);
    return frames;
}

std::vector<request_frame> scripted_peer::commands()
{
    std::vector<request_frame> out;
    for (auto& f : received())
        if (f.cmd != 0) out.push_back(f);
    return out;
}

void scripted_peer::clear()
{
    std::lock_guard<std::mutex> g(m);
    frames.clear();
}

void scripted_peer::run()
{
    while (!stopping) {
        if (vplat::wait_readable(listen_sock, 50) <= 0) continue;
        intptr_t s = vplat::accept_socket(listen_sock, nullptr);
        if (s < 0) continue;
        vplat::set_nodelay(s, true);
        ++accepted;
        current = s;
        if (!stopping) serve(s);  // a destructor that came first may have missed this socket
        current = -1;
        vplat::close_socket(s);
    }
}

void scripted_peer::serve(intptr_t s)
{
    peer_session session{*this, s};
    request_frame f;
    f.bytes.reserve(32 + max_payload);
    while (!stopping && !session.hung_up) {
        f.bytes.resize(32);
        if (!read_exact(s, f.bytes.data(), 32)) return;
        const unsigned char* h = f.bytes.data();
        f.cmd = le16(h + 2);
        f.type = le16(h + 4);
        f.reply_len = le16(h + 6);
        f.arg = le32(h + 8);
        f.crc = le32(h + 12);
        f.data_len = le32(h + 28);
        if (f.type != 2 && f.data_len > 0) {
            if (f.data_len > max_payload) return;  // not a frame of ours: the stream is lost
            f.bytes.resize(32 + f.data_len);
            if (!read_exact(s, f.bytes.data() + 32, f.data_len)) return;
        }
        answer_frame(session, f);
    }
}

void scripted_peer::answer_frame(peer_session& session, const request_frame& f)
{
    script sc;
    answer an;
    bool bad = false;
    {
        std::lock_guard<std::mutex> g(m);
        if (recording) frames.push_back(f);
        // Copied only when set, so a peer that just answers costs no allocation per frame.
        if (on_frame) sc = on_frame;
        if (on_answer) an = on_answer;
        bad = reject && reject(f);
    }
    if (sc) {
        sc(session, f);
        return;
    }
    std::vector<unsigned char> payload = an ? an(f) : default_answer(f, read_fill);
    std::vector<unsigned char> reply = make_reply(f.cmd, bad ? f.arg ^ 0x80 : f.arg, payload);
    reply[4] = f.bytes[4];
    reply[5] = f.bytes[5];
    session.send(reply);
}
