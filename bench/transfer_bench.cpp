// Throughput of an SD card file write through the controller library to the
// simulated board, side by side with a raw TCP stop-and-wait loop that sends
// frames of the same sizes (32-byte header and 8192 payload bytes, answered
// by a 32-byte header) to a peer that only reads and answers. They run on
// loopback, on a private veth network (MTU 1500) and on the same veth shaped
// to 100 Mbit/s. Prints MiB/s and the ratio raw/library for each.
// Argument: repetitions per measurement (default 3; the best run counts).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "private_net.h"
#include "raw_io.h"
#include "scripted_peer.h"
#include "board_sim.h"
#include "pelk.h"
#include "vesk.h"
#include "vesk_platform.h"
#include "vesk_testing.h"

namespace {

using clock_type = std::chrono::steady_clock;

constexpr size_t FILE_BYTES = 20u << 20;
constexpr size_t CHUNK = 8192;
constexpr double MIB = 1024.0 * 1024.0;

// One stop-and-wait exchange of a whole frame; false when the link broke.
bool exchange(intptr_t s, std::vector<unsigned char>& frame, unsigned char cmd, uint32_t arg, size_t len,
              bool with_crc)
{
    unsigned char reply[32];
    std::memset(frame.data(), 0, 32);
    frame[0] = 0xA5, frame[1] = 0x5A, frame[2] = cmd, frame[4] = 4, frame[6] = frame[7] = 0xFF;
    for (int i = 0; i < 4; ++i) frame[8 + i] = static_cast<unsigned char>(arg >> (8 * i));
    uint32_t crc = with_crc ? payload_crc32(reinterpret_cast<const char*>(frame.data() + 32), int(len)) : 0;
    for (int i = 0; i < 4; ++i) frame[12 + i] = static_cast<unsigned char>(crc >> (8 * i));
    for (int i = 0; i < 4; ++i) frame[28 + i] = static_cast<unsigned char>(len >> (8 * i));
    if (!send_all(s, frame.data(), 32 + len) || !read_exact(s, reply, sizeof reply)) return false;
    uint16_t reply_len = static_cast<uint16_t>(reply[6] | reply[7] << 8);
    std::vector<unsigned char> rest(reply_len);
    return reply_len == 0 || read_exact(s, rest.data(), reply_len);
}

// Seconds for one stop-and-wait pass over FILE_BYTES in CHUNK frames. With
// to_board the frames are what the board needs to store the file (create,
// data frames with their checksum, close), so the board's own cost shows.
// With with_crc the frames carry their payload checksum, as the library's do.
double raw_loop(const std::string& address, uint16_t port, bool to_board = false, bool with_crc = false)
{
    vesk_addr a{};
    vplat::parse_ipv4(address.c_str(), &a);
    a.port = port;
    intptr_t s = vplat::tcp_socket();
    if (vplat::connect_socket(s, a) != 0) {
        vplat::close_socket(s);
        return -1;
    }
    vplat::set_nodelay(s, true);
    std::vector<unsigned char> frame(32 + CHUNK, 0x5A);
    std::vector<unsigned char> name(32 + 256, 0);
    std::memcpy(name.data() + 32, "raw.bin", 7);
    auto t0 = clock_type::now();
    bool ok = !to_board || exchange(s, name, 21, 1, 256, true);
    for (size_t off = 0; ok && off < FILE_BYTES; off += CHUNK)
        ok = exchange(s, frame, 20, static_cast<uint32_t>(off), CHUNK, to_board || with_crc);
    ok = ok && (!to_board || exchange(s, name, 21, 4, 256, true));
    if (!ok) {
        vplat::close_socket(s);
        return -1;
    }
    double secs = std::chrono::duration<double>(clock_type::now() - t0).count();
    vplat::close_socket(s);
    return secs;
}

// Seconds for one SD card write of the file through the library.
double library_write(const std::string& file, uint8_t check)
{
    _flash_msg m;
    std::memset(&m, 0, sizeof m);
    m.target = FLASH_TARGET_SDCARD;
    m.op = 4;
    m.check = check;
    std::snprintf(m.file_name, sizeof m.file_name, "%s", file.c_str());
    auto t0 = clock_type::now();
    int r = mcu_bsp_sdcard(&m);
    double secs = std::chrono::duration<double>(clock_type::now() - t0).count();
    return r == 0 ? secs : -1;
}

void quiet(void*, const char*) {}

struct result {
    double lib = 1e9, lib_check = 1e9, raw = 1e9, lib_bare = 1e9, raw_board = 1e9, raw_crc = 1e9;
    // Context switches of the whole process (sender, receive thread and the
    // in-process peer) per chunk, for the raw loop and the library against
    // the bare peer: where the time goes on two cores.
    double raw_switches = 0, lib_switches = 0;
};

long context_switches()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw + u.ru_nivcsw;
}

constexpr double CHUNKS = double(FILE_BYTES / CHUNK);

// Runs f, keeps the best time and the context switches per chunk of the best run.
template <typename F>
void timed(F f, double& best, double* switches = nullptr)
{
    long before = context_switches();
    double t = f();
    long after = context_switches();
    if (t > 0 && t < best) {
        best = t;
        if (switches) *switches = double(after - before) / CHUNKS;
    }
}

// Opens the library's one link to addr; false when that fails.
bool open_library_link(pelk_cnc* dev, const std::string& addr)
{
    vesk_test_clear_servers();
    vesk_test_seed_server(0, addr.c_str(), "BENCHBOARD01");
    return dev->cnc_open_dev_index(0, nullptr, nullptr) == 0;
}

void keep_best(double t, double& best)
{
    if (t > 0 && t < best) best = t;
}

// Runs every measurement rounds times, interleaved, keeping the best. The
// simulated board listens at board_addr, a peer that only answers at
// bare_addr; the raw loop and the library's bare write both go to that peer,
// one right after the other, so load on the machine hits both alike.
result measure(const std::string& board_addr, const std::string& bare_addr, const std::string& file, int rounds)
{
    result best;
    pelk_cnc* dev = cnc_dev_register();
    if (!dev) return best;
    for (int i = 0; i < rounds; ++i) {
        if (open_library_link(dev, board_addr)) {
            keep_best(library_write(file, 0), best.lib);
            keep_best(library_write(file, 1), best.lib_check);
            dev->cnc_close_dev();
        }
        timed([&] { return raw_loop(bare_addr, VESK_TCP_PORT); }, best.raw, &best.raw_switches);
        keep_best(raw_loop(bare_addr, VESK_TCP_PORT, false, true), best.raw_crc);
        if (open_library_link(dev, bare_addr)) {
            timed([&] { return library_write(file, 0); }, best.lib_bare, &best.lib_switches);
            dev->cnc_close_dev();
        }
        keep_best(raw_loop(board_addr, VESK_TCP_PORT, true), best.raw_board);
    }
    ::operator delete(static_cast<void*>(dev));
    return best;
}

void print_row(const char* network, const result& r)
{
    auto rate = [](double secs) { return FILE_BYTES / MIB / secs; };
    std::printf("| %-22s | %8.1f | %9.1f | %8.1f | %9.1f | %9.1f | %6.3f | %11.3f | %10.3f | %11.3f | %8.1f | %10.3f | %9.2f | %9.2f |\n",
                network, rate(r.lib), rate(r.lib_check), rate(r.raw), rate(r.lib_bare), rate(r.raw_board),
                r.raw / r.lib, r.raw / r.lib_check, r.raw / r.lib_bare, r.raw / r.raw_board, rate(r.raw_crc),
                r.raw_crc / r.lib_bare, r.raw_switches, r.lib_switches);
}

bsim::config board_config(const std::string& addr, const std::string& state_dir)
{
    bsim::config cfg;
    cfg.tcp_addr = addr;
    cfg.discovery = false;
    cfg.state_dir = state_dir;
    return cfg;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    // An optional second argument "loopback" runs that row alone (for profiling).
    const bool loopback_only = argc > 2 && std::string(argv[2]) == "loopback";
    vplat::set_debug_sink(&quiet, nullptr);  // trace lines are not what is measured

    char tmpl[] = "/tmp/transfer_bench_XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    const std::string file = dir + "/payload.bin";
    {
        std::vector<char> data(FILE_BYTES);
        std::mt19937 gen(1);
        for (auto& c : data) c = static_cast<char>(gen());
        std::ofstream(file, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    }

    std::printf("SD card write of a %zu MiB file in %zu-byte chunks, best of %d; MiB/s and ratio to the raw "
                "stop-and-wait loop.\n\n",
                FILE_BYTES >> 20, CHUNK, rounds);
    std::printf("Columns: the library writing to the simulated board without and with the file checksum; the raw\n"
                "loop against a peer that only answers; the library against that bare peer; the raw loop sending\n"
                "the same frames straight to the simulated board (its own cost per chunk). Ratios are raw loop\n"
                "time over the other time (1.0 = as fast as the raw loop). \"raw+crc\" is the raw loop computing\n"
                "each frame's payload checksum as the library must, \"bare/+crc\" the library against it. The last\n"
                "two columns count the process's context switches per chunk (sender, receive thread and the\n"
                "in-process peer together) for the raw loop and the library against the bare peer.\n\n");
    std::printf("| network                | library  | lib+check | raw loop | lib, bare | raw→board | ratio  | ratio+check | ratio bare | ratio board | raw+crc  | bare/+crc  | cs/chunk raw | cs/chunk lib |\n");
    std::printf("|------------------------|----------|-----------|----------|-----------|-----------|--------|-------------|------------|-------------|----------|------------|-----------|-----------|\n");

    {
        std::string tail = std::to_string((::getpid() >> 8) & 0xFF) + "." + std::to_string(::getpid() & 0xFF);
        std::string addr = "127.201." + tail, bare_addr = "127.202." + tail;
        bsim::board sim(board_config(addr, dir + "/board_lo"));
        std::string why;
        bool up = sim.start(&why);
        scripted_peer bare(bare_addr, nullptr);
        bare.record(false);
        if (!up || !bare.listening()) {
            std::printf("| loopback               | skipped: %s |\n", why.c_str());
        } else {
            print_row("loopback", measure(addr, bare_addr, file, rounds));
        }
    }

    // A veth pair as it comes, then shaped like a board's 100 Mbit/s
    // Ethernet in both directions (a token bucket per side).
    for (bool shaped : {false, true}) {
        if (loopback_only) break;
        const char* label = shaped ? "veth, 100 Mbit/s (tbf)" : "veth (MTU 1500)";
        private_net net({"10.78.0.1"}, {"10.78.0.2", "10.78.0.3"});
        if (!net.ok()) {
            std::printf("| %-22s | skipped: %s |\n", label, net.why_not().c_str());
            continue;
        }
        const std::string tbf = " root tbf rate 100mbit burst 4kb latency 50ms";
        if (shaped && !(net.run_on_host_side("tc qdisc add dev " + net.host_device() + tbf) &&
                        net.run_on_board_side("tc qdisc add dev " + net.board_device() + tbf))) {
            std::printf("| %-22s | skipped: tc qdisc tbf unavailable |\n", label);
            continue;
        }
        net.enter_board_side();
        {
            bsim::board sim(board_config("10.78.0.2", dir + (shaped ? "/board_tbf" : "/board_veth")));
            std::string why;
            bool up = sim.start(&why);
            scripted_peer bare("10.78.0.3", nullptr);
            bare.record(false);
            net.enter_host_side();
            if (!up || !bare.listening())
                std::printf("| %-22s | skipped: %s |\n", label, why.c_str());
            else
                print_row(label, measure("10.78.0.2", "10.78.0.3", file, rounds));
            net.enter_board_side();  // the board's sockets close in their own namespace
        }
        net.leave();
    }

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
