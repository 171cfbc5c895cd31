#include "support.h"

#include <unistd.h>

#include <cstring>

#include "vesk_platform.h"
#include "vesk_testing.h"

namespace {

constexpr uint16_t BOARD_PORT = 9494;

uint32_t rd32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t rd16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

bool read_all(vplat::socket_t s, unsigned char* p, size_t n)
{
    while (n > 0) {
        long r = vplat::recv_bytes(s, p, n);
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

bool write_all(vplat::socket_t s, const unsigned char* p, size_t n)
{
    return vplat::send_bytes(s, p, n) == long(n);
}

}  // namespace

std::string unique_loopback_address()
{
    static std::atomic<int> counter{0};
    unsigned pid = unsigned(::getpid());
    int n = counter++;
    return "127." + std::to_string(10 + (n % 200)) + "." + std::to_string((pid >> 8) & 0xff) + "." +
           std::to_string(pid & 0xff);
}

std::vector<unsigned char> default_answer(const frame& f)
{
    if (f.type == 2) return std::vector<unsigned char>(f.data_len, 0);
    if (f.type == 1) return f.payload();
    return {};
}

scripted_board::scripted_board(const std::string& addr, script s) : address(addr), answer(std::move(s))
{
    vesk_addr a{};
    vplat::parse_ipv4(addr.c_str(), &a);
    a.port = BOARD_PORT;
    listen_sock = vplat::tcp_socket();
    vplat::set_reuseaddr(listen_sock, true);
    if (vplat::bind_socket(listen_sock, a) != 0 || vplat::listen_socket(listen_sock, 4) != 0) {
        ADD_FAILURE() << "cannot listen at " << addr;
        vplat::close_socket(listen_sock);
        listen_sock = vplat::invalid_socket;
        return;
    }
    worker = std::thread([this] { run(); });
}

scripted_board::~scripted_board()
{
    stopping = true;
    if (worker.joinable()) worker.join();
    vplat::close_socket(listen_sock);
}

void scripted_board::run()
{
    while (!stopping) {
        if (vplat::wait_readable(listen_sock, 20) <= 0) continue;
        vplat::socket_t s = vplat::accept_socket(listen_sock, nullptr);
        if (s == vplat::invalid_socket) continue;
        vplat::set_nodelay(s, true);
        while (!stopping && serve(s)) {
        }
        vplat::close_socket(s);
    }
}

// Reads and answers one request; false when the connection is over.
bool scripted_board::serve(vplat::socket_t s)
{
    int ready = vplat::wait_readable(s, 20);
    if (ready == 0) return true;
    if (ready < 0) return false;
    frame f;
    f.bytes.resize(32);
    if (!read_all(s, f.bytes.data(), 32)) return false;
    const unsigned char* h = f.bytes.data();
    f.cmd = rd16(h + 2);
    f.type = rd16(h + 4);
    f.reply_len = rd16(h + 6);
    f.arg = rd32(h + 8);
    f.crc = rd32(h + 12);
    f.data_len = rd32(h + 28);
    // A read asks for data_len bytes and carries none; a request without a
    // data buffer carries none either (its checksum says so).
    bool has_payload = f.type != 2 && f.crc != 0xFFFFFFFFu;
    if (has_payload && f.data_len > 0) {
        f.bytes.resize(32 + f.data_len);
        if (!read_all(s, f.bytes.data() + 32, f.data_len)) return false;
    }
    h = f.bytes.data();  // the payload read may have moved the bytes
    script sc;
    bool bad = false;
    {
        std::lock_guard<std::mutex> g(m);
        seen.push_back(f);
        sc = answer;
        bad = reject && reject(f);
    }
    std::vector<unsigned char> payload = sc ? sc(f) : default_answer(f);
    std::vector<unsigned char> reply(32, 0);
    reply[0] = 0xA5;
    reply[1] = 0x5A;
    reply[2] = h[2];
    reply[3] = h[3];
    reply[4] = h[4];
    reply[5] = h[5];
    reply[6] = uint8_t(payload.size());
    reply[7] = uint8_t(payload.size() >> 8);
    std::memcpy(reply.data() + 8, h + 8, 4);
    if (bad) reply[8] ^= 0x80;
    reply.insert(reply.end(), payload.begin(), payload.end());
    return write_all(s, reply.data(), reply.size());
}

std::vector<frame> scripted_board::frames()
{
    std::lock_guard<std::mutex> g(m);
    return seen;
}

std::vector<frame> scripted_board::commands()
{
    std::vector<frame> out;
    for (auto& f : frames())
        if (f.cmd != 0) out.push_back(f);
    return out;
}

void scripted_board::clear()
{
    std::lock_guard<std::mutex> g(m);
    seen.clear();
}

void scripted_board::reject_when(std::function<bool(const frame&)> pred)
{
    std::lock_guard<std::mutex> g(m);
    reject = std::move(pred);
}

void scripted_board::set_script(script s)
{
    std::lock_guard<std::mutex> g(m);
    answer = std::move(s);
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

bool trace_capture::contains(const std::string& line)
{
    for (auto& l : lines())
        if (l == line) return true;
    return false;
}

void trace_capture::clear()
{
    std::lock_guard<std::mutex> g(m);
    texts.clear();
}

std::vector<unsigned char> le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

std::vector<unsigned char> le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

std::vector<unsigned char> le_float(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return le32(bits);
}

uint32_t get_le32(const unsigned char* p) { return rd32(p); }

float get_le_float(const unsigned char* p)
{
    uint32_t bits = rd32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

bool open_link_to(pelk_cnc* dev, const std::string& addr)
{
    vesk_test_clear_servers();
    const char id[12] = {'B', 'O', 'A', 'R', 'D', '-', 'T', 'E', 'S', 'T', '0', '1'};
    if (!vesk_test_seed_server(0, addr.c_str(), id)) return false;
    return dev->cnc_open_dev_index(0, nullptr, nullptr) == 0;
}

void board_test::SetUp()
{
    address = unique_loopback_address();
    board = std::make_unique<scripted_board>(address);
    dev = cnc_dev_register();
    ASSERT_NE(dev, nullptr);
    ASSERT_TRUE(open_link_to(dev, address));
    traces.clear();
}

void board_test::TearDown()
{
    if (dev) {
        dev->cnc_close_dev();
        // The library never frees device objects; the test gives the memory
        // back so that leak checkers stay quiet. The class has no destructor
        // to run.
        ::operator delete(static_cast<void*>(dev));
        dev = nullptr;
    }
    board.reset();
    vesk_test_clear_servers();
}
