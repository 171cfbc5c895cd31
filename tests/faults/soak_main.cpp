// Soak run against the in-process simulated board: one thread polls the
// machine status every 50 ms, another runs SD writes and read-backs, FPGA
// writes and NC downloads of random sizes, and a third makes the board
// misbehave at random (hang-ups, late, invalid and garbage replies, silence)
// and closes the link when the board has gone silent. After every transfer
// that reported success the board's copy is compared with the source.
//
//   soak SECONDS [SEED]
//
// Exits 1 when a transfer that reported success left different bytes.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "board_sim.h"
#include "pelk.h"
#include "vesk_platform.h"
#include "vesk_testing.h"

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;
using bytes = std::vector<unsigned char>;

namespace {

struct counters {
    std::atomic<long> attempted{0}, completed{0}, failed{0}, verified{0}, differing{0};
    std::atomic<long> polls{0}, polls_failed{0}, faults{0}, reconnects{0}, silence_closes{0};
    long by_kind[3][2] = {};  // sd, fpga, nc x completed, failed (worker thread only)
};

counters count;
std::atomic<bool> running{true};
std::atomic<long long> muted_since_ms{0};  // when the board last swallowed a request, 0: not silent

long long now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now().time_since_epoch()).count();
}

void write_file(const std::string& path, const bytes& b)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bytes padded4(bytes b)
{
    b.resize((b.size() + 3) & ~size_t(3), 0);
    return b;
}

_flash_msg make_msg(uint32_t target, uint32_t op, const std::string& name)
{
    _flash_msg m;
    std::memset(&m, 0, sizeof m);
    m.target = target;
    m.op = op;
    std::snprintf(m.file_name, sizeof m.file_name, "%s", name.c_str());
    return m;
}

// The library's trace lines are not needed; dropping them keeps the run quiet.
void quiet(void*, const char*) {}

class soak {
public:
    soak(const std::string& addr, uint32_t seed) : address(addr), rng(seed)
    {
        bsim::config cfg;
        cfg.tcp_addr = address;
        cfg.discovery = false;
        cfg.update_rate = 4 * 1024 * 1024;
        cfg.trace_sink = [](const std::string& line) {
            if (line.find(" mute") != std::string::npos) muted_since_ms = now_ms();
        };
        board = std::make_unique<bsim::board>(cfg);
    }

    bool start()
    {
        std::string why;
        if (!board->start(&why)) {
            std::fprintf(stderr, "soak: board: %s\n", why.c_str());
            return false;
        }
        dev = cnc_dev_register();
        const char id[12] = {'S', 'O', 'A', 'K', '-', 'B', 'O', 'A', 'R', 'D', '0', '1'};
        return dev && vesk_test_seed_server(0, address.c_str(), id) && dev->cnc_open_dev_index(0, nullptr, nullptr) == 0;
    }

    void poll_loop()
    {
        while (running) {
            cnc_status st{};
            ++count.polls;
            if (dev->cnc_get_status(&st) != 0) ++count.polls_failed;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // One random fault every 50 to 400 ms, aimed at a random command (or the
    // next frame of any) after a few matching frames; the board's silence is
    // ended by closing the link, as an operator would.
    void fault_loop(uint32_t seed)
    {
        std::mt19937 r(seed);
        static const bsim::fault_kind kinds[] = {
            bsim::fault_kind::close_now, bsim::fault_kind::close_mid_reply, bsim::fault_kind::bad_magic,
            bsim::fault_kind::bad_cmd,   bsim::fault_kind::bad_arg,         bsim::fault_kind::len_ffff,
            bsim::fault_kind::oversized, bsim::fault_kind::byte_by_byte,    bsim::fault_kind::garbage,
            bsim::fault_kind::late,      bsim::fault_kind::mute};
        static const int cmds[] = {-1, 0, 20, 21, 32, 33, 48, 49};
        while (running) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50 + r() % 350));
            long long m = muted_since_ms;
            if (m && now_ms() - m > 300) {
                muted_since_ms = 0;
                dev->cnc_close_dev();
                ++count.silence_closes;
            }
            if (r() % 12 == 0) {
                board->drop_connection();
            } else {
                auto kind = kinds[r() % std::size(kinds)];
                int delay = kind == bsim::fault_kind::late ? int(r() % 300) : int(10209 + r() % 2000);
                board->arm_fault(kind, cmds[r() % std::size(cmds)], int(r() % 4), delay);
            }
            ++count.faults;
        }
    }

    void transfer_loop(clock_type::time_point end)
    {
        int n = 0;
        while (clock_type::now() < end) {
            reconnect_if_lost();
            int which = int(rng() % 3);
            ++count.attempted;
            bool ok = which == 0 ? sd_round_trip(n) : which == 1 ? fpga_write() : nc_download(n);
            ++count.by_kind[which][ok ? 0 : 1];
            ++(ok ? count.completed : count.failed);
            ++n;
        }
    }

    void stop()
    {
        if (dev) dev->cnc_close_dev();
        board->stop();
    }

private:
    size_t random_size(size_t max)
    {
        // Mostly small, sometimes large: sizes spread over orders of magnitude.
        size_t top = size_t(1) << (rng() % 19);
        return 1 + rng() % std::min(max, top);
    }
    bytes random_bytes(size_t n)
    {
        bytes b(n);
        for (auto& c : b) c = uint8_t(rng());
        return b;
    }
    void verify(bool same, const char* what)
    {
        if (same) {
            ++count.verified;
        } else {
            ++count.differing;
            std::fprintf(stderr, "soak: %s reported success but the board's copy differs\n", what);
        }
    }

    void reconnect_if_lost()
    {
        if (dev->cnc_dev_state()) return;
        dev->cnc_close_dev();
        while (dev->cnc_open_dev_index(0, nullptr, nullptr) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ++count.reconnects;
    }

    // An SD write (with or without checksum), and when it succeeded a read
    // back into another local file; both are checked against the card.
    bool sd_round_trip(int n)
    {
        const std::string name = "sd" + std::to_string(n % 8) + ".bin";
        const bytes content = random_bytes(random_size(300000));
        write_file(name, content);
        _flash_msg wr = make_msg(FLASH_TARGET_SDCARD, 4, name);
        wr.check = uint8_t(rng() % 2);
        if (mcu_bsp_sdcard(&wr) != 0) return false;
        verify(read_file(board->sd_path(name)) == padded4(content), "SD write");

        ++count.attempted;
        std::remove(name.c_str());
        _flash_msg rd = make_msg(FLASH_TARGET_SDCARD, 5, name);
        rd.size = 1u << 20;
        bool ok = mcu_bsp_sdcard(&rd) == 0;
        ++(ok ? count.completed : count.failed);
        ++count.by_kind[0][ok ? 0 : 1];
        if (ok) verify(read_file(name) == padded4(content), "SD read-back");
        return true;
    }

    bool fpga_write()
    {
        const bytes image = random_bytes(random_size(200000));
        write_file("soak.img", image);
        _flash_msg m = make_msg(FLASH_TARGET_FPGA, 4, "soak.img");
        if (mcu_bsp_fpga_flash(&m) != 0) return false;
        verify(board->fpga_image() == padded4(image), "FPGA write");
        return true;
    }

    // NC files are compared by checksum, so a name reused with new content
    // is downloaded again; the numbered copy on the card is checked.
    bool nc_download(int n)
    {
        const std::string stem = "job" + std::to_string(n % 5);
        std::string text;
        size_t want = random_size(150000);
        for (int line = 0; text.size() < want; ++line)
            text += "G1 X" + std::to_string(rng() % 1000) + " Y" + std::to_string(line) + "\n";
        write_file(stem + ".nc", bytes(text.begin(), text.end()));
        if (dev->cnc_start_nc_file(0, const_cast<char*>((stem + ".nc").c_str()), 1) != 0) return false;
        long lines = long(std::count(text.begin(), text.end(), '\n'));
        std::string numbered = "(NFL" + std::to_string(lines) + ")\r\n" + text;
        verify(read_file(board->sd_path(stem + "_N.nc")) == padded4(bytes(numbered.begin(), numbered.end())),
               "NC download");
        return true;
    }

    std::string address;
    std::mt19937 rng;
    std::unique_ptr<bsim::board> board;
    pelk_cnc* dev = nullptr;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: soak SECONDS [SEED]\n");
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const uint32_t seed = argc > 2 ? uint32_t(std::strtoul(argv[2], nullptr, 0)) : uint32_t(std::random_device{}());
    vplat::set_debug_sink(&quiet, nullptr);

    // Local files live in a scratch directory, removed at the end.
    char tmpl[] = "/tmp/soak_XXXXXX";
    if (!::mkdtemp(tmpl) || ::chdir(tmpl) != 0) {
        std::perror("soak: scratch directory");
        return 2;
    }
    const unsigned pid = unsigned(::getpid());
    const std::string addr = "127.231." + std::to_string((pid >> 8) & 0xff) + "." + std::to_string(pid & 0xff);

    soak s(addr, seed);
    if (!s.start()) return 2;
    std::printf("soak: %d s against the simulated board at %s, seed %u\n", seconds, addr.c_str(), seed);
    std::fflush(stdout);
    auto end = clock_type::now() + std::chrono::seconds(seconds);
    std::thread poller([&] { s.poll_loop(); });
    std::thread faults([&] { s.fault_loop(seed ^ 0x5eed); });
    s.transfer_loop(end);
    running = false;
    faults.join();
    poller.join();
    s.stop();
    std::error_code ec;
    fs::remove_all(tmpl, ec);

    std::printf("transfers attempted  %ld\n", count.attempted.load());
    std::printf("  completed          %ld (sd %ld, fpga %ld, nc %ld)\n", count.completed.load(), count.by_kind[0][0],
                count.by_kind[1][0], count.by_kind[2][0]);
    std::printf("  failed             %ld (sd %ld, fpga %ld, nc %ld)\n", count.failed.load(), count.by_kind[0][1],
                count.by_kind[1][1], count.by_kind[2][1]);
    std::printf("  verified identical %ld\n", count.verified.load());
    std::printf("  differing          %ld\n", count.differing.load());
    std::printf("status polls         %ld (%ld failed)\n", count.polls.load(), count.polls_failed.load());
    std::printf("faults injected      %ld\n", count.faults.load());
    std::printf("reconnects           %ld (%ld closes of a silent link)\n", count.reconnects.load(),
                count.silence_closes.load());
    const bool all = count.differing == 0 && count.verified == count.completed;
    std::printf("result               %s\n", all ? "every completed transfer is byte-identical" : "MISMATCH");
    return all ? 0 : 1;
}
