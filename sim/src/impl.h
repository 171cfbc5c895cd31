// Inside the simulated board: its state, the shared lock and the handlers of
// each command family. Every handler runs with the lock held.
#pragma once

#include <array>
#include <cstdio>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "board_sim.h"
#include "gcode/engine.h"
#include "wire.h"
#include "vesk_platform.h"

namespace bsim {

using clock_type = std::chrono::steady_clock;
using time_point = clock_type::time_point;

constexpr uint32_t FRAM_SIZE = 32 * 1024;
constexpr uint32_t USER_DATA_SIZE = 64 * 1024;
constexpr uint32_t FPGA_FLASH_SIZE = 16 * 1024 * 1024;
constexpr uint32_t MCU_FLASH_SIZE = 1024 * 1024;
constexpr int PARAM_COUNT = 512;
constexpr int KEY_COUNT = 16;

// Run-state bits of the status block.
enum : uint32_t {
    RS_PARSING = 1u << 0,
    RS_RUNNING = 1u << 1,
    RS_WORKING = 1u << 2,
    RS_PAUSED = 1u << 3,
    RS_HOMING = 1u << 4,
    RS_TOOL_CHANGE = 1u << 5,
    RS_PROBING = 1u << 6,
    RS_MOVING = 1u << 7,
    RS_AR = 1u << 10,
};

// Alarm codes the machine raises.
enum : uint16_t {
    ALARM_NONE = 0,
    ALARM_LIMIT = 2,     // a move would leave the travel range
    ALARM_PROGRAM = 3,   // a job line the machine cannot run
    ALARM_PROBE = 5,     // probe move without a target
};

struct sd_state {
    std::string open_name;   // file that command 20 writes and reads
    bool open = false;
    std::string last_closed; // the file a staged update start refers to
};

struct update_state {
    int kind = 0;            // 4 boot, 5 application, 6 spindle, 7 dc; 0 none
    std::string file;
    uint32_t size = 0;
    double done = 0;
    bool failed = false;
};

struct ar_state {
    bool homed = false;
    bool cylinder_open = false;
    uint32_t point = 0;
    std::string log;
    time_point busy_until{};
};

struct job_state {
    bool active = false;
    bool paused = false;
    bool resume_pending = false;
    std::string name;
    uint32_t start_line = 0;
    uint32_t total_lines = 0;   // from the "(NFL..)" header; 0 when unknown
    uint32_t parse_line = 0, run_line = 0;
    uint32_t lines_seen = 0;    // lines read from the file so far
    uint64_t file_pos = 0;
    // The block of the file read ahead of file_pos (from ahead_pos on), so a
    // line costs no card read of its own.
    std::string ahead;
    uint64_t ahead_pos = 0;
    uint32_t download_bytes = 0;
    double credit = 0;
    time_point last_data{};
    bool parsing_done = false;  // every line the job will run has been planned
    bool skipping = false;      // lines before start_line: modes only, no motion
    uint32_t kind_bits = 0;     // run-state bits of the segment under way
    // A line that cannot run: the job stops with an alarm once the machine reaches it.
    uint32_t fault_line = 0;
    uint16_t fault_alarm = 0;
    std::string fault_word, fault_text;
};

// The G-code engine behind the machine: command lines and jobs share one
// interpreter (modes carry over, as on a controller). Segments a command
// line plans are applied at once; a job's are followed in time.
struct machine_motion {
    gcode::machine_settings settings = gcode::machine_settings::defaults();
    std::unique_ptr<gcode::engine> eng;
    std::deque<gcode::segment> queue;
    double seg_elapsed = 0;     // planned seconds into queue.front()
};

struct machine_state {
    std::array<float, 9> mpos{};
    std::array<float, 9> offset{};  // work = machine - offset
    bool absolute = true;
    float feed = 1000;
    bool homed = false;
    uint16_t alarm = 0;
    uint16_t limits = 0;
    std::array<uint16_t, 4> spindle{};
    std::array<uint8_t, 4> coolant{};
    std::array<uint8_t, 2> tools{};
    uint32_t busy_bits = 0;
    time_point busy_until{};
    job_state job;
    // Result text: members of one JSON object, merged until the host reads it.
    std::vector<std::pair<std::string, std::string>> result;
    std::string delivery;
    size_t delivery_pos = 0;
    bool delivering = false;
};

struct board_state {
    identity id;
    peripherals per;
    std::array<uint8_t, KEY_COUNT> keys{};
    uint8_t door = 1, air = 1, drawer = 1;
    std::vector<uint8_t> fram;
    std::vector<uint8_t> user;
    std::vector<uint8_t> fpga;     // the written extent of the configuration flash
    std::vector<uint8_t> app;      // MCU application
    bool app_open = false;         // a direct application write is in progress
    std::vector<uint8_t> app_staging;
    std::vector<float> params;
    std::array<std::vector<float>, 2> blocks;
    sd_state sd;
    update_state upd;
    ar_state ar;
    machine_state m;
};

enum dirty_bits : unsigned {
    D_SCALARS = 1, D_FRAM = 2, D_USER = 4, D_FPGA = 8, D_APP = 16, D_PARAMS = 32,
};

struct one_shot {
    fault_kind kind;
    int cmd;
    int skip;
    int delay_ms;
};

struct board::impl {
    explicit impl(config c) : cfg(std::move(c)) {}

    config cfg;
    std::string dir;               // state directory
    bool temp_dir = false;
    mutable std::mutex lock;       // guards everything below but the sockets
    board_state st;
    counters cnt;
    faults flt;
    std::vector<one_shot> shots;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> status_overrides;  // offset, bytes
    machine_motion mo;
    unsigned dirty = 0;
    time_point last_save{};
    // Set by a handler that declines the request in a way the host must see:
    // the reply then carries the length 0xFFFF, which the link takes as a
    // failed exchange (the stream stays in step: nothing follows the head).
    bool answer_failure = false;

    std::atomic<bool> run{false};
    std::atomic<bool> drop{false};  // close the connection at the next turn
    vplat::socket_t listen_fd = vplat::invalid_socket, conn_fd = vplat::invalid_socket,
                    udp_fd = vplat::invalid_socket, answer_fd = vplat::invalid_socket;
    std::mutex conn_lock;          // guards conn_fd against drop_connection
    std::thread server_thread, udp_thread, tick_thread;
    // The in-process connection that may send (0: none) and its frame count.
    std::mutex in_process_lock;
    uint64_t in_process_current = 0, in_process_next = 1, in_process_frames = 0;
    std::condition_variable tick_cv;

    std::deque<std::string> recent;  // recent trace lines
    std::ofstream trace_out;

    // The SD file named by st.sd.open_name, kept open across data frames;
    // null until the first data frame or create/open needs it.
    std::FILE* sd_fp = nullptr;

    // Helpers (lock held).
    void trace(const std::string& line);
    // Counts a request the board declined and traces why.
    void refuse(const std::string& why);
    // True when trace lines go anywhere but the recent-lines ring; lines
    // written per frame are only formatted then.
    bool tracing() const { return bool(cfg.trace_sink) || cfg.trace_file == "-" || trace_out.is_open(); }

    void log_event(const std::string& text);  // appended to the SD card's cnc_log.txt
    void mark(unsigned bits) { dirty |= bits; }
    std::string sd_dir() const { return dir + "/sd"; }
    std::string sd_file(const std::string& name) const;
};

// Persistence (persist.cpp).
void load_state(board::impl& b);
void save_state(board::impl& b, bool all);

// Command families; each fills out with the reply payload. A false result
// means the frame is not answered at all.
void handle_board(board::impl& b, const request& r, std::vector<uint8_t>& out);
void handle_flash(board::impl& b, const request& r, std::vector<uint8_t>& out);
void handle_sdcard(board::impl& b, const request& r, std::vector<uint8_t>& out);
void handle_update(board::impl& b, const request& r, std::vector<uint8_t>& out);
void handle_store(board::impl& b, const request& r, std::vector<uint8_t>& out);
void handle_outputs(board::impl& b, const request& r);
void handle_machine(board::impl& b, const request& r, std::vector<uint8_t>& out);
void dispatch(board::impl& b, const request& r, std::vector<uint8_t>& out);

// The machine (machine.cpp, nc_job.cpp, status_block.cpp).
void execute_line(board::impl& b, const std::string& line);
// A "$" line of the board's own, from a command line or a job.
void setting(board::impl& b, const std::string& line);
void machine_tick(board::impl& b, time_point now, double seconds);
// Advances a running job by one tick of seconds (job_run.cpp).
void job_step(board::impl& b, time_point now, double seconds);
void add_result(board::impl& b, const std::string& key, const std::string& json_value);
std::string json_string(const std::string& s);
std::vector<uint8_t> build_status(const board::impl& b);
uint32_t run_state_of(const board::impl& b);
void job_start(board::impl& b, const request& r);
void job_interrupt(board::impl& b, const char* why);
void raise_alarm(board::impl& b, uint16_t code, const std::string& why);

// The engine behind the machine (motion.cpp).
void motion_setup(board::impl& b);
// The interpreter takes the machine's position; planned and held motion is dropped.
void motion_stop(board::impl& b);
// Applies what a finished segment leaves behind (position, probe result, homing).
void segment_done(board::impl& b, const gcode::segment& s);
// Spindle, coolant, tools, offsets and modes from the interpreter into the status.
void sync_modal(board::impl& b);
uint32_t kind_bits(gcode::motion k);

// SD file helpers (sdcard.cpp).
std::string sd_name(const std::vector<uint8_t>& field);
uint32_t sd_file_checksum(const std::string& path, bool* exists);
// False when the file could not be opened or written.
bool write_file_at(const std::string& path, uint32_t off, const std::vector<uint8_t>& data);
void read_file_at(const std::string& path, uint32_t off, uint32_t want, std::vector<uint8_t>& out);
// Closes the kept SD file, if any; the next data frame opens it again.
void sd_close_file(board::impl& b);

// Replies of at most want bytes from a byte area starting at off.
void read_area(const std::vector<uint8_t>& area, uint32_t off, uint32_t want, std::vector<uint8_t>& out);

}  // namespace bsim
