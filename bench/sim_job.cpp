#include "sim_job.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "vesk.h"
#include "vesk_testing.h"

namespace {

using clock_type = std::chrono::steady_clock;

constexpr size_t CHUNK = 8192;
constexpr char JOB_NAME[] = "bench_N.nc";

double since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }

// A loopback address of this process's own, a new one for every board, so
// that neither other runs nor a closing predecessor stand in the way.
std::string next_address()
{
    static int n = 0;
    unsigned pid = unsigned(::getpid());
    return "127." + std::to_string(210 + n++ % 40) + "." + std::to_string((pid >> 8) & 0xFF) + "." +
           std::to_string(pid & 0xFF);
}

// The file as the host sends it: the line count header, the program ending
// in a line feed, zeros up to a multiple of four bytes.
std::vector<uint8_t> job_bytes(const std::string& path, uint64_t lines)
{
    std::ifstream f(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (!text.empty() && text.back() != '\n') text += '\n';
    text = "(NFL" + std::to_string(lines) + ")\r\n" + text;
    std::vector<uint8_t> out(text.begin(), text.end());
    out.resize((out.size() + 3) / 4 * 4, 0);
    return out;
}

}  // namespace

job_timing run_job(const std::string& path, uint64_t lines, const job_options& o)
{
    job_timing t;
    const std::string addr = next_address();
    bsim::config cfg;
    cfg.tcp_addr = addr;
    cfg.discovery = false;
    cfg.time_scale = o.time_scale;
    cfg.slowdown = o.slowdown;
    bsim::board sim(cfg);  // a fresh state directory, removed with the board
    if (!sim.start(&t.why)) return t;

    vesk link;
    vesk_test_clear_servers();
    vesk_test_seed_server(0, addr.c_str(), "BENCHBOARD01");
    if (link.eth_device_open(0, nullptr, nullptr) != 0) {
        t.why = "no link to the board at " + addr;
        return t;
    }
    auto send = [&](uint8_t cmd, uint8_t type, uint32_t arg, uint8_t* data, size_t len) {
        unsigned short got = 0;
        return link.eth_send_cmd(cmd, type, arg, data, (unsigned short)len, &got) == 0;
    };

    std::vector<uint8_t> file = job_bytes(path, lines);
    // Host time and start line (0: from the beginning), then the name with its NUL.
    std::vector<uint8_t> start(8 + sizeof JOB_NAME, 0);
    std::copy(JOB_NAME, JOB_NAME + sizeof JOB_NAME, start.begin() + 8);
    const auto t0 = clock_type::now();
    bool sent = send(48, XFER_EXCHANGE, 1, start.data(), start.size());
    for (size_t off = 0; sent && off < file.size(); off += CHUNK)
        sent = send(49, XFER_WRITE, uint32_t(off), file.data() + off, std::min(CHUNK, file.size() - off));
    if (!sent) t.why = "the job could not be sent";

    while (t.why.empty()) {
        const auto now = clock_type::now();
        const bsim::machine_view v = sim.machine();
        const double running = std::chrono::duration<double>(now - t0).count() - t.paused;
        if (v.alarm) {
            t.why = "alarm " + std::to_string(v.alarm) + " at line " + std::to_string(v.run_line);
        } else if (!v.job_active) {
            t.running = running;
            break;
        } else if (v.paused) {
            // M0: continued at once; the time it stood still does not count.
            if (!send(48, XFER_EXCHANGE, 7, nullptr, 0)) t.why = "continue refused";
            t.paused += since(now);
            ++t.stops;
        } else if (running > o.timeout) {
            t.why = "still running after " + std::to_string(int(o.timeout)) + " s, at line " +
                    std::to_string(v.run_line);
        } else {
            if (o.watch) o.watch(v, running);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    link.eth_device_close();
    vesk_test_clear_servers();
    return t;
}
