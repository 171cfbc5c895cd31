// The public face of the simulated board: start and stop, the tick that
// moves the machine and the update progress, the trace, and the accessors.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <random>

#include "server.h"
#include "sockets.h"

namespace fs = std::filesystem;

namespace bsim {

namespace {

constexpr auto TICK = std::chrono::milliseconds(10);
constexpr auto SAVE_EVERY = std::chrono::milliseconds(200);
constexpr size_t RECENT_LINES = 400;

void ticker(board::impl& b)
{
    auto last = clock_type::now();
    std::unique_lock<std::mutex> g(b.lock);
    while (b.run) {
        b.tick_cv.wait_for(g, TICK);
        auto now = clock_type::now();
        machine_tick(b, now, std::chrono::duration<double>(now - last).count());
        last = now;
        if (b.dirty && now - b.last_save >= SAVE_EVERY) save_state(b, false);
    }
}

}  // namespace

void board::impl::refuse(const std::string& why)
{
    ++cnt.refused;
    trace("   refused: " + why);
}

void board::impl::trace(const std::string& line)
{
    auto t = std::chrono::duration<double>(clock_type::now().time_since_epoch()).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%.3f] ", std::fmod(t, 100000.0));
    std::string text = stamp + line;
    recent.push_back(text);
    if (recent.size() > RECENT_LINES) recent.pop_front();
    if (cfg.trace_sink) cfg.trace_sink(text);
    else if (cfg.trace_file == "-") std::cerr << text << '\n';
    else if (trace_out.is_open()) trace_out << text << '\n' << std::flush;
}

void board::impl::log_event(const std::string& text)
{
    std::time_t now = std::time(nullptr);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    std::error_code ec;
    fs::create_directories(sd_dir(), ec);
    std::ofstream f(sd_file("cnc_log.txt"), std::ios::app | std::ios::binary);
    f << when << ' ' << text << "\r\n";
}

board::board(config cfg) : p(std::make_unique<impl>(std::move(cfg))) {}

board::~board()
{
    stop();
    if (p->temp_dir) {
        std::error_code ec;
        fs::remove_all(p->dir, ec);
    }
}

namespace {

// A new directory of its own under the system's temporary folder: creating
// it succeeds only when the name was free, so two boards never share one.
std::string make_temp_dir()
{
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) return "";
    std::random_device rd;
    std::mt19937_64 gen(rd() ^ static_cast<uint64_t>(clock_type::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "board_sim.%012llx",
                      static_cast<unsigned long long>(gen() & 0xFFFFFFFFFFFFull));
        if (fs::create_directory(base / name, ec)) return (base / name).string();
    }
    return "";
}

}  // namespace

bool board::start(std::string* why)
{
    if (p->run) return true;
    auto& b = *p;
    if (b.dir.empty()) {
        if (!b.cfg.state_dir.empty()) {
            b.dir = b.cfg.state_dir;
        } else {
            b.dir = make_temp_dir();
            if (b.dir.empty()) {
                if (why) *why = "cannot make a temporary state directory";
                return false;
            }
            b.temp_dir = true;
        }
    }
    std::error_code ec;
    fs::create_directories(b.dir, ec);
    if (!b.cfg.trace_file.empty() && b.cfg.trace_file != "-" && !b.trace_out.is_open())
        b.trace_out.open(b.cfg.trace_file, std::ios::app);
    {
        std::lock_guard<std::mutex> g(b.lock);
        b.flt = b.cfg.fault;
        load_state(b);
    }
    if (!b.cfg.listen) {
        {
            std::lock_guard<std::mutex> g(b.lock);
            b.trace("-- board up for in-process hosts, state in " + b.dir);
        }
        b.run = true;
        b.tick_thread = std::thread(ticker, std::ref(b));
        return true;
    }
    std::string reason;
    b.listen_fd = bound_socket(sock_kind::stream, b.cfg.tcp_addr, b.cfg.tcp_port, &reason);
    // A deep backlog: hosts that connect and close in quick succession must
    // not find the queue full, or their next connect waits out a retransmit.
    bool ok = b.listen_fd != no_socket && vplat::listen_socket(b.listen_fd, 64) == 0;
    if (ok && b.cfg.discovery) ok = open_discovery(b, &reason);
    if (!ok) {
        if (reason.empty()) reason = "listen failed";
        close_fd(b.listen_fd);
        close_fd(b.udp_fd);
        close_fd(b.answer_fd);
        if (why) *why = reason;
        return false;
    }
    {
        std::lock_guard<std::mutex> g(b.lock);
        b.trace("-- board up on " + b.cfg.tcp_addr + ":" + std::to_string(b.cfg.tcp_port) +
                (b.cfg.discovery ? ", discovery on " + b.cfg.group + ":" + std::to_string(b.cfg.udp_port) : "") +
                ", state in " + b.dir);
    }
    b.run = true;
    b.server_thread = std::thread(serve_tcp, std::ref(b));
    if (b.udp_fd != no_socket) b.udp_thread = std::thread(serve_udp, std::ref(b));
    b.tick_thread = std::thread(ticker, std::ref(b));
    return true;
}

void board::stop()
{
    auto& b = *p;
    if (!b.run) return;
    b.run = false;
    b.tick_cv.notify_all();
    for (auto* t : {&b.server_thread, &b.udp_thread, &b.tick_thread})
        if (t->joinable()) t->join();
    close_fd(b.listen_fd);
    close_fd(b.udp_fd);
    close_fd(b.answer_fd);
    std::lock_guard<std::mutex> g(b.lock);
    sd_close_file(b);
    b.trace("-- board down");
    save_state(b, true);
}

bool board::running() const { return p->run; }
const std::string& board::state_dir() const { return p->dir; }

std::string board::sd_path(const std::string& name) const
{
    return p->sd_file(sd_name(std::vector<uint8_t>(name.begin(), name.end())));
}

#define LOCKED std::lock_guard<std::mutex> g(p->lock)

identity board::ident() const { LOCKED; return p->st.id; }
peripherals board::peripheral_state() const { LOCKED; return p->st.per; }
counters board::stats() const { LOCKED; return p->cnt; }
std::vector<uint8_t> board::status_block() const { LOCKED; return build_status(*p); }
std::vector<uint8_t> board::fpga_image() const { LOCKED; return p->st.fpga; }
std::vector<uint8_t> board::mcu_app() const { LOCKED; return p->st.app; }
std::vector<float> board::params() const { LOCKED; return p->st.params; }

std::vector<uint8_t> board::fram(uint32_t addr, uint32_t len) const
{
    LOCKED;
    std::vector<uint8_t> out;
    read_area(p->st.fram, addr, len, out);
    return out;
}

std::vector<uint8_t> board::user_data(uint32_t addr, uint32_t len) const
{
    LOCKED;
    std::vector<uint8_t> out;
    read_area(p->st.user, addr, len, out);
    return out;
}

machine_view board::machine() const
{
    LOCKED;
    const auto& m = p->st.m;
    machine_view v;
    v.machine_pos = m.mpos;
    for (int i = 0; i < 9; ++i) v.work_pos[i] = m.mpos[i] - m.offset[i];
    v.run_state = run_state_of(*p);
    v.alarm = m.alarm;
    v.limits = m.limits;
    v.parse_line = m.job.parse_line;
    v.run_line = m.job.run_line;
    v.download_bytes = m.job.download_bytes;
    v.job_active = m.job.active;
    v.paused = m.job.paused;
    v.resume_pending = m.job.resume_pending;
    v.job_name = m.job.name;
    v.tools = m.tools;
    v.spindle = m.spindle;
    v.ar_cylinder_open = p->st.ar.cylinder_open;
    v.ar_point = p->st.ar.point;
    return v;
}

std::string board::last_trace() const
{
    LOCKED;
    std::string s;
    for (auto& l : p->recent) s += l + "\n";
    return s;
}

void board::set_key(int key, uint8_t state)
{
    LOCKED;
    if (key >= 0 && key < KEY_COUNT) p->st.keys[size_t(key)] = state;
    p->mark(D_SCALARS);
}

void board::set_inputs(uint8_t door, uint8_t air_pressure, uint8_t drawer)
{
    LOCKED;
    p->st.door = door, p->st.air = air_pressure, p->st.drawer = drawer;
    p->mark(D_SCALARS);
}

void board::set_faults(const faults& f) { LOCKED; p->flt = f; }

void board::arm_fault(fault_kind kind, int cmd, int skip, int delay_ms)
{
    LOCKED;
    p->shots.push_back({kind, cmd, skip, delay_ms});
}

void board::drop_connection() { p->drop = true; }

void board::override_status(uint32_t offset, std::vector<uint8_t> bytes)
{
    LOCKED;
    p->status_overrides.emplace_back(offset, std::move(bytes));
}

void board::clear_status_overrides() { LOCKED; p->status_overrides.clear(); }

}  // namespace bsim
