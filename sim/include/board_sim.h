// The simulated controller board: answers discovery datagrams and command
// frames the way a real board does, keeps its state in a directory so that
// it survives a restart, and misbehaves on request so that hosts can be
// tested against a faulty peer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bsim {

// What the board says about itself. The version word (command 3) is
// product << 24 | variant << 16 | fw_major << 8 | fw_minor.
struct identity {
    uint8_t product = 0;
    uint8_t variant = 0;
    uint8_t fw_major = 1;
    uint8_t fw_minor = 0;
    uint32_t drive_version = 0x00010002;         // AR unit / drive firmware, major << 16 | minor
    std::array<uint8_t, 12> board_id{};          // command 2
    std::array<uint8_t, 12> machine_id{};        // discovery answer, bytes 32-43
};

// Ways the board can misbehave. Per-reply corruptions apply to every reply,
// or only to replies of only_cmd when that is 0 or more.
struct faults {
    int close_after_frames = -1;   // close the connection after answering this many frames
    int close_mid_reply_at = -1;   // cut the reply of this frame (1-based) in half, then close
    int delay_ms = 0;              // wait this long before every reply
    bool bad_magic = false;
    bool bad_cmd = false;
    bool bad_arg = false;
    bool len_ffff = false;         // a 32-byte header announcing 0xFFFF
    uint32_t oversized = 0;        // announce and send this many payload bytes (> 10208)
    bool byte_by_byte = false;     // write each reply one byte at a time
    int only_cmd = -1;
    std::vector<int> mute_cmds;    // never answer these commands
    int unsolicited_after_ms = -1; // send one frame nobody asked for this long after accept
    bool discovery_silent = false;
    bool discovery_twice = false;
    bool reserved_args = true;     // honour the reserved link-probe arguments below
    // Store the first data chunk (offset 0) of every FPGA flash, MCU
    // application and SD card file write with its first byte inverted, while
    // answering as if all went well: read-backs and checksums then differ
    // from what the host sent.
    bool corrupt_writes = false;
};

// Reserved arguments of the link probe (command 0), whose only real argument
// is 0: they make the board misbehave for that one request.
constexpr uint32_t PROBE_LATE_BASE = 0x51000000;  // | ms (at most 0xFFFF): answer that late
constexpr uint32_t PROBE_BYTE_BY_BYTE = 0xB17EB17E;
constexpr uint32_t PROBE_GARBAGE = 0x0BAD0BAD;

// One-shot faults armed through the API for an exact step.
enum class fault_kind {
    close_now,        // close instead of answering
    close_mid_reply,
    bad_magic,
    bad_cmd,
    bad_arg,
    len_ffff,
    oversized,
    byte_by_byte,
    garbage,
    late,             // wait delay_ms of the shot
    mute,
};

struct config {
    // false: no sockets at all; only in-process hosts reach the board.
    bool listen = true;
    std::string tcp_addr = "0.0.0.0";
    uint16_t tcp_port = 9494;
    bool discovery = true;
    std::string udp_addr = "0.0.0.0";
    uint16_t udp_port = 9090;
    std::string group = "224.0.0.88";
    std::string group_if;          // local address to join the group on; empty: the kernel's choice
    std::string state_dir;         // empty: a fresh temporary directory, removed by the destructor
    // Identity fields to impose; those left unset come from the state
    // directory, or defaults for a new board.
    bool set_product = false, set_variant = false, set_major = false, set_minor = false,
         set_drive = false, set_board_id = false, set_machine_id = false;
    identity id;
    // NC jobs follow their planned motion: time_scale planned seconds pass
    // per second, and the machine reaches slowdown times its planned speed
    // (below 1 for a worn or loaded machine).
    double time_scale = 1.0;
    double slowdown = 1.0;
    double line_rate = 0;          // at most this many NC job lines per second; 0: no limit
    uint32_t update_rate = 256 * 1024;  // staged update progress, bytes per second
    int motion_ms = 150;           // how long a single command's motion bits stay set
    float travel = 1000.0f;        // machine travel of the linear axes: -travel .. +travel mm
    // Machine settings over the kept ones, as "key=value" items separated by
    // spaces (rate.x=6000 accel.x=500 travel.x=-500:500 ...); kept in the state.
    std::string settings;
    faults fault;
    // Trace of every frame and datagram: to this sink, else to trace_file, else nowhere.
    std::function<void(const std::string&)> trace_sink;
    std::string trace_file;        // "-" is standard error
};

struct peripherals {
    std::array<uint8_t, 3> status_led{};   // r, g, b in percent
    uint8_t buzzer_duty = 0;
    uint32_t buzzer_period = 0;
    uint16_t rgb_progress = 0, rgb_fh = 0, rgb_bh = 0;
    std::array<uint16_t, 48> strip{};
    std::array<uint16_t, 16> colour_slots{};
    std::array<uint8_t, 2> tool_switch{};
    uint8_t dust = 0;
    uint32_t calibrations = 0;
    std::array<uint8_t, 16> led_state{};   // state byte per index
    std::array<uint32_t, 16> led_value{};
    uint8_t fpga_reset_line = 1, fpga_prog_line = 1;
    uint32_t fpga_resets = 0;
};

struct machine_view {
    std::array<float, 9> machine_pos{};
    std::array<float, 9> work_pos{};
    uint32_t run_state = 0;
    uint16_t alarm = 0;
    uint16_t limits = 0;
    uint32_t parse_line = 0, run_line = 0;
    uint32_t download_bytes = 0;
    bool job_active = false, paused = false, resume_pending = false;
    std::string job_name;
    std::array<uint8_t, 2> tools{};
    std::array<uint16_t, 4> spindle{};
    bool ar_cylinder_open = false;
    uint32_t ar_point = 0;
};

struct counters {
    uint64_t frames_received = 0;
    uint64_t replies_sent = 0;
    uint64_t connections = 0;
    uint64_t discovery_requests = 0;
    uint64_t discovery_answers = 0;
    uint64_t bad_frames = 0;       // wrong magic skipped, bad checksum, too long
    uint64_t refused = 0;          // commands the board declined (wrong state, out of range)
    uint64_t checksum_ok = 0, checksum_failed = 0;  // SD checksum verifications
};

class board {
public:
    explicit board(config cfg);
    ~board();
    board(const board&) = delete;
    board& operator=(const board&) = delete;

    // Loads the state, binds the sockets and starts serving. False with a
    // reason when a socket cannot be bound.
    bool start(std::string* why = nullptr);
    // Closes the connection and the sockets, saves the state. start() may follow.
    void stop();
    bool running() const;

    const std::string& state_dir() const;
    std::string sd_path(const std::string& name) const;  // the file behind an SD card name
    identity ident() const;
    peripherals peripheral_state() const;
    machine_view machine() const;
    counters stats() const;
    std::vector<uint8_t> status_block() const;  // the 272 bytes command 48/5 would answer
    std::vector<uint8_t> fram(uint32_t addr, uint32_t len) const;
    std::vector<uint8_t> user_data(uint32_t addr, uint32_t len) const;
    std::vector<uint8_t> fpga_image() const;
    std::vector<uint8_t> mcu_app() const;
    std::vector<float> params() const;
    // The most recent trace lines, newest last; the two lines per frame are
    // among them only when a trace sink or trace file is set.
    std::string last_trace() const;

    void set_key(int key, uint8_t state);
    void set_inputs(uint8_t door, uint8_t air_pressure, uint8_t drawer);
    void set_faults(const faults& f);
    // The next frame (of cmd, when cmd >= 0) after skip matching frames gets this fault.
    void arm_fault(fault_kind kind, int cmd = -1, int skip = 0, int delay_ms = 0);
    // Closes the current connection as a restart would, without answering.
    void drop_connection();
    // Status fields a test wants to see that the machine does not reach on
    // its own: from now on the status block (command 48/5) carries bytes at
    // offset, over whatever the machine reports there. Bytes past the 272 of
    // the block are ignored. The machine itself is not changed.
    void override_status(uint32_t offset, std::vector<uint8_t> bytes);
    void clear_status_overrides();

    // In-process hosts, without sockets: a connection is opened (replacing
    // the one before, as a new TCP connection does), its frames answered one
    // by one, and closed. answer_in_process gets one whole request frame and
    // gives the reply frame's bytes (none when the board stays mute); closed
    // when the board hangs up instead (a fault, drop_connection, a newer
    // connection, or the board stopped), after which the connection is gone.
    enum class answer_kind { replied, replied_then_closed, closed };
    uint64_t open_in_process();
    answer_kind answer_in_process(uint64_t connection, const uint8_t* frame, size_t len, std::vector<uint8_t>& reply);
    void close_in_process(uint64_t connection);

    struct impl;

private:
    std::unique_ptr<impl> p;
};

}  // namespace bsim
