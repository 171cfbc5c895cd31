// board_sim: the simulated controller board as a program.
#include <getopt.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "board_sim.h"
#include "project_version.h"
#include "gcode/settings.h"

namespace {

std::atomic<bool> quit{false};
void on_signal(int) { quit = true; }

const char* HELP = R"(Usage: board_sim [options]

A simulated controller board. It answers discovery on UDP 224.0.0.88:9090 and
command frames on TCP port 9494, keeps its state in a directory, and can be
told to misbehave. Run it inside a private network (scripts/netns-run) rather
than on the machine's own adapters. Stops on Ctrl-C or SIGTERM.

Network:
  --bind ADDR            TCP address to listen on (default 0.0.0.0)
  --port N               TCP port (default 9494)
  --no-discovery         do not answer discovery
  --udp-port N           discovery port (default 9090)
  --group ADDR           discovery group (default 224.0.0.88)
  --group-if ADDR        local address of the interface to join the group on

State and identity:
  --state DIR            state directory; kept across runs (default: a fresh
                         temporary directory, removed when the board stops)
  --product N            product id, version word bits 31-24 (default 0)
  --variant N            hardware variant, bits 23-16 (default 0)
  --fw-major N           firmware major version, bits 15-8 (default 1; 0 lets
                         the MCU application be written directly)
  --fw-minor N           firmware minor version, bits 7-0 (default 0)
  --drive-version N      drive / AR firmware word, major<<16|minor
  --board-id HEX         12-byte board identifier as 24 hex digits
  --machine-id TEXT      12-character machine id announced by discovery
                         (shorter texts are padded with zero bytes)
  Identity options are stored in the state directory; later runs keep them.

Machine:
  --time-scale N         run NC jobs N times faster than real time (default 1)
  --slowdown F           the machine reaches F times its planned speed (0 < F <= 1;
                         default 1), as a worn or loaded machine does
  --setting KEY=VALUE    machine setting, repeatable: rate.x=6000 (units/min),
                         accel.x=500 (units/s2), travel.x=-500:500 or none,
                         junction=0.01, arc_tolerance=0.002, tool_change=3 (s),
                         feed=1000, lookahead=32; kept in the state directory.
                         "$$" on the command line reports them all
  --line-rate N          at most N NC job lines a second (default: no limit)
  --update-rate N        staged update progress in bytes per second (default 262144)
  --motion-ms N          how long a single command's motion bits stay set (default 150)
  --travel MM            travel of the linear axes, -MM..+MM machine coordinates
                         (default 1000; rotary axes A B C have no limit)

Trace:
  --trace[=FILE]         trace every frame and datagram to FILE (default: standard error)

Faults (per-reply faults apply to every reply, or to --fault-cmd's only):
  --close-after N        close the connection after answering N frames
  --close-mid-reply N    send half of the Nth frame's reply, then close
  --delay MS             wait MS milliseconds before every reply
  --bad-magic            replies carry a wrong magic
  --bad-cmd              replies carry a wrong cmd
  --bad-arg              replies carry a wrong arg
  --reply-len-ffff       replies are a bare header announcing 0xFFFF
  --oversized N          replies announce and carry N payload bytes (N > 10208)
  --byte-by-byte         replies are written one byte at a time
  --fault-cmd C          restrict the per-reply faults above to command C
  --mute-cmd C           never answer command C (repeatable)
  --unsolicited MS       send one unasked frame MS ms after each connection
  --discovery-silent     do not answer discovery requests
  --discovery-twice      answer every discovery request twice
  --no-reserved-args     ignore the reserved link-probe arguments below
  --corrupt-writes       store the first chunk of every FPGA, MCU application and
                         SD file write with its first byte inverted (answers as
                         if all went well), so verification finds a mismatch

Reserved link-probe arguments (command 0, whose real argument is 0), each for
that one request:
  0x5100nnnn             answer nnnn milliseconds late
  0xB17EB17E             answer one byte at a time
  0x0BAD0BAD             answer garbage instead of a frame

  -h, --help             this text
  --version              the program's version
)";

bool hex_bytes(const char* text, uint8_t* out, size_t n)
{
    if (std::strlen(text) != n * 2) return false;
    for (size_t i = 0; i < n; ++i) {
        char byte[3] = {text[2 * i], text[2 * i + 1], 0};
        char* end = nullptr;
        out[i] = uint8_t(std::strtoul(byte, &end, 16));
        if (*end) return false;
    }
    return true;
}

unsigned long number(const char* text, const char* option)
{
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 0);
    if (!*text || *end) {
        std::fprintf(stderr, "board_sim: %s needs a number, not '%s'\n", option, text);
        std::exit(2);
    }
    return v;
}

}  // namespace

int main(int argc, char** argv)
{
    bsim::config c;
    c.trace_file.clear();
    enum {
        O_BIND = 256, O_PORT, O_NODISC, O_UDPPORT, O_GROUP, O_GROUPIF, O_STATE, O_PRODUCT, O_VARIANT, O_MAJOR,
        O_MINOR, O_DRIVE, O_BOARDID, O_MACHINEID, O_LINERATE, O_TIMESCALE, O_SLOWDOWN, O_SETTING, O_UPDRATE, O_MOTION, O_TRAVEL, O_TRACE,
        O_CLOSEAFTER, O_CLOSEMID, O_DELAY, O_BADMAGIC, O_BADCMD, O_BADARG, O_FFFF, O_OVERSIZED, O_BYTES,
        O_FAULTCMD, O_MUTE, O_UNSOL, O_DSILENT, O_DTWICE, O_NORESERVED, O_CORRUPT,
    };
    static const option opts[] = {
        {"bind", required_argument, nullptr, O_BIND},
        {"port", required_argument, nullptr, O_PORT},
        {"no-discovery", no_argument, nullptr, O_NODISC},
        {"udp-port", required_argument, nullptr, O_UDPPORT},
        {"group", required_argument, nullptr, O_GROUP},
        {"group-if", required_argument, nullptr, O_GROUPIF},
        {"state", required_argument, nullptr, O_STATE},
        {"product", required_argument, nullptr, O_PRODUCT},
        {"variant", required_argument, nullptr, O_VARIANT},
        {"fw-major", required_argument, nullptr, O_MAJOR},
        {"fw-minor", required_argument, nullptr, O_MINOR},
        {"drive-version", required_argument, nullptr, O_DRIVE},
        {"board-id", required_argument, nullptr, O_BOARDID},
        {"machine-id", required_argument, nullptr, O_MACHINEID},
        {"line-rate", required_argument, nullptr, O_LINERATE},
        {"time-scale", required_argument, nullptr, O_TIMESCALE},
        {"slowdown", required_argument, nullptr, O_SLOWDOWN},
        {"setting", required_argument, nullptr, O_SETTING},
        {"update-rate", required_argument, nullptr, O_UPDRATE},
        {"motion-ms", required_argument, nullptr, O_MOTION},
        {"travel", required_argument, nullptr, O_TRAVEL},
        {"trace", optional_argument, nullptr, O_TRACE},
        {"close-after", required_argument, nullptr, O_CLOSEAFTER},
        {"close-mid-reply", required_argument, nullptr, O_CLOSEMID},
        {"delay", required_argument, nullptr, O_DELAY},
        {"bad-magic", no_argument, nullptr, O_BADMAGIC},
        {"bad-cmd", no_argument, nullptr, O_BADCMD},
        {"bad-arg", no_argument, nullptr, O_BADARG},
        {"reply-len-ffff", no_argument, nullptr, O_FFFF},
        {"oversized", required_argument, nullptr, O_OVERSIZED},
        {"byte-by-byte", no_argument, nullptr, O_BYTES},
        {"fault-cmd", required_argument, nullptr, O_FAULTCMD},
        {"mute-cmd", required_argument, nullptr, O_MUTE},
        {"unsolicited", required_argument, nullptr, O_UNSOL},
        {"discovery-silent", no_argument, nullptr, O_DSILENT},
        {"discovery-twice", no_argument, nullptr, O_DTWICE},
        {"no-reserved-args", no_argument, nullptr, O_NORESERVED},
        {"corrupt-writes", no_argument, nullptr, O_CORRUPT},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    int o;
    while ((o = getopt_long(argc, argv, "h", opts, nullptr)) != -1) {
        const char* a = optarg;
        const char* name = argv[optind - 1];
        auto& f = c.fault;
        switch (o) {
        case 'h': std::fputs(HELP, stdout); return 0;
        case 'V': std::printf("board_sim %s\n", PROJECT_VERSION_TEXT); return 0;
        case O_BIND: c.tcp_addr = a; break;
        case O_PORT: c.tcp_port = uint16_t(number(a, name)); break;
        case O_NODISC: c.discovery = false; break;
        case O_UDPPORT: c.udp_port = uint16_t(number(a, name)); break;
        case O_GROUP: c.group = a; break;
        case O_GROUPIF: c.group_if = a; break;
        case O_STATE: c.state_dir = a; break;
        case O_PRODUCT: c.id.product = uint8_t(number(a, name)); c.set_product = true; break;
        case O_VARIANT: c.id.variant = uint8_t(number(a, name)); c.set_variant = true; break;
        case O_MAJOR: c.id.fw_major = uint8_t(number(a, name)); c.set_major = true; break;
        case O_MINOR: c.id.fw_minor = uint8_t(number(a, name)); c.set_minor = true; break;
        case O_DRIVE: c.id.drive_version = uint32_t(number(a, name)); c.set_drive = true; break;
        case O_BOARDID:
            if (!hex_bytes(a, c.id.board_id.data(), 12)) {
                std::fprintf(stderr, "board_sim: --board-id needs 24 hex digits\n");
                return 2;
            }
            c.set_board_id = true;
            break;
        case O_MACHINEID:
            if (std::strlen(a) > 12) {
                std::fprintf(stderr, "board_sim: --machine-id holds at most 12 characters\n");
                return 2;
            }
            c.id.machine_id = {};
            std::memcpy(c.id.machine_id.data(), a, std::strlen(a));
            c.set_machine_id = true;
            break;
        case O_LINERATE: c.line_rate = std::atof(a); break;
        case O_TIMESCALE:
            c.time_scale = std::atof(a);
            if (!(c.time_scale > 0 && c.time_scale <= 1e6)) {
                std::fprintf(stderr, "board_sim: --time-scale needs a number above 0\n");
                return 2;
            }
            break;
        case O_SLOWDOWN:
            c.slowdown = std::atof(a);
            if (!(c.slowdown > 0 && c.slowdown <= 1)) {
                std::fprintf(stderr, "board_sim: --slowdown needs a number above 0, at most 1\n");
                return 2;
            }
            break;
        case O_SETTING: {
            gcode::machine_settings probe = gcode::machine_settings::defaults();
            std::string why;
            if (!gcode::apply_setting(probe, a, &why)) {
                std::fprintf(stderr, "board_sim: --setting %s: %s\n", a, why.c_str());
                return 2;
            }
            c.settings += c.settings.empty() ? a : std::string(" ") + a;
            break;
        }
        case O_UPDRATE: c.update_rate = uint32_t(number(a, name)); break;
        case O_MOTION: c.motion_ms = int(number(a, name)); break;
        case O_TRAVEL: c.travel = float(std::atof(a)); break;
        case O_TRACE: c.trace_file = a ? a : "-"; break;
        case O_CLOSEAFTER: f.close_after_frames = int(number(a, name)); break;
        case O_CLOSEMID: f.close_mid_reply_at = int(number(a, name)); break;
        case O_DELAY: f.delay_ms = int(number(a, name)); break;
        case O_BADMAGIC: f.bad_magic = true; break;
        case O_BADCMD: f.bad_cmd = true; break;
        case O_BADARG: f.bad_arg = true; break;
        case O_FFFF: f.len_ffff = true; break;
        case O_OVERSIZED:
            f.oversized = uint32_t(number(a, name));
            if (f.oversized <= 10208 || f.oversized >= 0xFFFF) {
                std::fprintf(stderr, "board_sim: --oversized needs 10209 to 65534\n");
                return 2;
            }
            break;
        case O_BYTES: f.byte_by_byte = true; break;
        case O_FAULTCMD: f.only_cmd = int(number(a, name)); break;
        case O_MUTE: f.mute_cmds.push_back(int(number(a, name))); break;
        case O_UNSOL: f.unsolicited_after_ms = int(number(a, name)); break;
        case O_DSILENT: f.discovery_silent = true; break;
        case O_DTWICE: f.discovery_twice = true; break;
        case O_NORESERVED: f.reserved_args = false; break;
        case O_CORRUPT: f.corrupt_writes = true; break;
        default: std::fputs("Try 'board_sim --help'.\n", stderr); return 2;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "board_sim: unexpected argument '%s'\n", argv[optind]);
        return 2;
    }

    struct sigaction sa{};
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    bsim::board board(c);
    std::string why;
    if (!board.start(&why)) {
        std::fprintf(stderr, "board_sim: %s\n", why.c_str());
        return 1;
    }
    auto id = board.ident();
    std::printf("board_sim: listening on %s:%u, %s, state in %s%s\n", c.tcp_addr.c_str(), c.tcp_port,
                c.discovery ? "discovery on" : "discovery off", board.state_dir().c_str(),
                c.state_dir.empty() ? " (temporary)" : "");
    std::printf("board_sim: machine id [%.12s], version %u.%u, product %u variant %u\n",
                reinterpret_cast<const char*>(id.machine_id.data()), id.fw_major, id.fw_minor, id.product,
                id.variant);
    std::fflush(stdout);
    while (!quit) ::usleep(50 * 1000);
    board.stop();
    return 0;
}
