// Round trip of one exchange through the link library, measured side by side
// with two raw TCP loops that send the same frames to the same peer:
//   ping-pong  the sender reads its own reply (the network's own limit);
//   handoff    a second thread reads replies and hands each over through a
//              semaphore, as a link that must watch the connection while
//              nobody sends has to.
// Also the library with Nagle's algorithm left on. Prints a table of
// microseconds per exchange and the ratios library/handoff and
// library/ping-pong, on loopback and on a private veth network. The argument
// is the seconds each loop runs per frame size, spread over five rounds.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "private_net.h"
#include "raw_io.h"
#include "scripted_peer.h"
#include "vesk.h"
#include "vesk_platform.h"
#include "vesk_testing.h"

namespace {

using clock_type = std::chrono::steady_clock;

struct frame_case {
    const char* name;
    unsigned char cmd;
    unsigned char type;
    unsigned short len;
};

const frame_case cases[] = {
    {"read 4", 3, XFER_READ, 4},
    {"exchange 1024", 18, XFER_EXCHANGE, 1024},
    {"write 1024", 32, XFER_WRITE, 1024},
    {"write 8192", 20, XFER_WRITE, 8192},
};

// Runs fn repeatedly for about the given time; microseconds per call.
double time_per_call(const std::function<bool()>& fn, double seconds)
{
    for (int i = 0; i < 200; ++i) fn();  // warm up
    long n = 0;
    auto start = clock_type::now();
    auto until = start + std::chrono::duration<double>(seconds);
    while (clock_type::now() < until) {
        for (int i = 0; i < 50; ++i)
            if (!fn()) return -1;
        n += 50;
    }
    std::chrono::duration<double, std::micro> spent = clock_type::now() - start;
    return spent.count() / static_cast<double>(n);
}

std::vector<unsigned char> build_frame(const frame_case& c, const std::vector<unsigned char>& payload)
{
    std::vector<unsigned char> f(32, 0);
    f[0] = 0xA5;
    f[1] = 0x5A;
    f[2] = c.cmd;
    f[4] = c.type;
    f[6] = f[7] = 0xFF;
    uint32_t crc = c.type == XFER_READ ? 0xFFFFFFFFu
                                       : payload_crc32(reinterpret_cast<const char*>(payload.data()), c.len);
    for (int i = 0; i < 4; ++i) {
        f[12 + i] = static_cast<unsigned char>(crc >> (8 * i));
        f[28 + i] = static_cast<unsigned char>(c.len >> (8 * i));
    }
    if (c.type != XFER_READ) f.insert(f.end(), payload.begin(), payload.begin() + c.len);
    return f;
}

intptr_t raw_connect(const std::string& address)
{
    vesk_addr a{};
    vplat::parse_ipv4(address.c_str(), &a);
    a.port = VESK_TCP_PORT;
    intptr_t s = vplat::tcp_socket();
    if (vplat::connect_socket(s, a) != 0) {
        vplat::close_socket(s);
        return -1;
    }
    vplat::set_nodelay(s, true);
    return s;
}

double raw_ping_pong(const std::string& address, const frame_case& c, double seconds)
{
    std::vector<unsigned char> payload(c.len, 0x5A), reply(VESK_FRAME_SIZE);
    auto frame = build_frame(c, payload);
    intptr_t s = raw_connect(address);
    if (s < 0) return -1;
    double us = time_per_call(
        [&] {
            if (vplat::send_bytes(s, frame.data(), frame.size()) < 0) return false;
            if (!read_exact(s, reply.data(), 32)) return false;
            unsigned len = reply[6] | reply[7] << 8;
            return read_exact(s, reply.data() + 32, len);
        },
        seconds);
    vplat::close_socket(s);
    return us;
}

double raw_handoff(const std::string& address, const frame_case& c, double seconds)
{
    std::vector<unsigned char> payload(c.len, 0x5A), reply(VESK_FRAME_SIZE), copy(VESK_FRAME_SIZE);
    auto frame = build_frame(c, payload);
    intptr_t s = raw_connect(address);
    if (s < 0) return -1;
    vplat::semaphore1 ready;
    std::atomic<bool> open{true};
    std::thread reader([&] {
        while (open) {
            if (vplat::wait_readable(s, 1000) <= 0) continue;
            if (!read_exact(s, reply.data(), 32)) break;
            unsigned len = reply[6] | reply[7] << 8;
            if (!read_exact(s, reply.data() + 32, len)) break;
            ready.release();
        }
        open = false;
        ready.release();
    });
    double us = time_per_call(
        [&] {
            if (vplat::send_bytes(s, frame.data(), frame.size()) < 0) return false;
            ready.acquire();
            unsigned len = reply[6] | reply[7] << 8;
            std::memcpy(copy.data(), reply.data() + 32, len);
            return open.load();
        },
        seconds);
    open = false;
    vplat::shutdown_socket(s);
    reader.join();
    vplat::close_socket(s);
    return us;
}

double library(const std::string& address, const frame_case& c, double seconds, bool nagle)
{
    vesk_test_clear_servers();
    vesk_test_seed_server(0, address.c_str(), "BENCHBOARD00");
    vesk_test_keep_nagle(nagle);
    vesk link;
    if (link.eth_device_open(0, nullptr, nullptr) != 0) return -1;
    std::vector<unsigned char> buf(c.len, 0x5A);
    double us = time_per_call(
        [&] {
            unsigned short got = 0;
            return link.eth_send_cmd(c.cmd, c.type, 0, buf.data(), c.len, &got) == 0;
        },
        seconds);
    link.eth_device_close();
    vesk_test_keep_nagle(false);
    return us;
}

void run_network(const char* network, const std::string& address, double seconds)
{
    // Rounds of all four loops in turn, keeping each loop's best round: a
    // round that a neighbour's burst of work slowed down does not count.
    constexpr int rounds = 5;
    std::printf("\n%s\n", network);
    std::printf("| frame | ping-pong us | handoff us | library us | library, Nagle on, us | library/handoff | "
                "library/ping-pong |\n|---|---|---|---|---|---|---|\n");
    for (const auto& c : cases) {
        double pp = 1e9, ho = 1e9, lib = 1e9, nag = 1e9;
        auto best = [](double& keep, double t) {
            if (t > 0 && t < keep) keep = t;
        };
        for (int r = 0; r < rounds; ++r) {
            best(pp, raw_ping_pong(address, c, seconds / rounds));
            best(ho, raw_handoff(address, c, seconds / rounds));
            best(lib, library(address, c, seconds / rounds, false));
            best(nag, library(address, c, seconds / rounds / 2, true));
        }
        std::printf("| %s | %.1f | %.1f | %.1f | %.1f | %.2f | %.2f |\n", c.name, pp, ho, lib, nag, lib / ho,
                    lib / pp);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    vplat::set_debug_sink([](void*, const char*) {}, nullptr);
    {
        std::string address = "127.0.0.1";
        scripted_peer peer(address, nullptr);
        peer.record(false);
        if (!peer.listening()) {
            std::fprintf(stderr, "cannot listen on %s:%d\n", address.c_str(), VESK_TCP_PORT);
            return 1;
        }
        run_network("loopback", address, seconds);
    }
    private_net net({"10.79.0.1"}, {"10.79.0.2"});
    if (!net.ok()) {
        std::printf("\nveth (MTU 1500): skipped, %s\n", net.why_not().c_str());
        return 0;
    }
    net.enter_board_side();
    {
        scripted_peer peer("10.79.0.2", nullptr);
        peer.record(false);
        net.enter_host_side();
        run_network("veth (MTU 1500)", "10.79.0.2", seconds);
    }
    net.leave();
    return 0;
}
