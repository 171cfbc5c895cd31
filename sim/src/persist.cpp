// The board's state directory: board.state holds the scalar state as
// "key=value" lines; fram.bin, user.bin, fpga.bin, app.bin, params.bin and
// block0/1.bin hold the storage areas; sd/ is the SD card. A job that was
// running when the board went down is reported as interrupted.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "impl.h"

namespace fs = std::filesystem;

namespace bsim {

namespace {

using kv_map = std::map<std::string, std::string>;

std::string hex(const uint8_t* p, size_t n)
{
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

void unhex(const std::string& s, uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n && 2 * i + 1 < s.size(); ++i) p[i] = uint8_t(std::stoul(s.substr(2 * i, 2), nullptr, 16));
}

std::string floats(const float* v, size_t n)
{
    std::string s;
    char b[32];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%s%.6g", i ? " " : "", double(v[i]));
        s += b;
    }
    return s;
}

template <typename T>
void numbers_in(const std::string& s, T* out, size_t n)
{
    std::istringstream in(s);
    for (size_t i = 0; i < n; ++i) {
        double v = 0;
        if (!(in >> v)) break;
        out[i] = T(v);
    }
}

template <typename T>
std::string numbers(const T* v, size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += std::to_string(v[i]);
    }
    return s;
}

void write_blob(const std::string& path, const void* data, size_t n)
{
    std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(static_cast<const char*>(data), std::streamsize(n));
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
}

bool read_blob(const std::string& path, std::vector<uint8_t>& out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

void floats_blob(const std::string& path, const std::vector<float>& v) { write_blob(path, v.data(), v.size() * 4); }

void floats_from(const std::string& path, std::vector<float>& v)
{
    std::vector<uint8_t> raw;
    if (!read_blob(path, raw)) return;
    v.resize(std::min<size_t>(raw.size() / 4, PARAM_COUNT));
    for (size_t i = 0; i < v.size(); ++i) v[i] = getf(&raw[i * 4]);
}

kv_map scalars(const board_state& s)
{
    kv_map k;
    const auto& id = s.id;
    k["product"] = std::to_string(id.product);
    k["variant"] = std::to_string(id.variant);
    k["fw_major"] = std::to_string(id.fw_major);
    k["fw_minor"] = std::to_string(id.fw_minor);
    k["drive_version"] = std::to_string(id.drive_version);
    k["board_id"] = hex(id.board_id.data(), 12);
    k["machine_id"] = hex(id.machine_id.data(), 12);
    const auto& p = s.per;
    k["status_led"] = numbers(p.status_led.data(), 3);
    k["buzzer"] = std::to_string(p.buzzer_duty) + " " + std::to_string(p.buzzer_period);
    k["rgb"] = std::to_string(p.rgb_progress) + " " + std::to_string(p.rgb_fh) + " " + std::to_string(p.rgb_bh);
    k["strip"] = numbers(p.strip.data(), p.strip.size());
    k["colour_slots"] = numbers(p.colour_slots.data(), p.colour_slots.size());
    k["outputs"] = numbers(p.tool_switch.data(), 2) + " " + std::to_string(p.dust) + " " + std::to_string(p.calibrations);
    k["led_state"] = numbers(p.led_state.data(), p.led_state.size());
    k["led_value"] = numbers(p.led_value.data(), p.led_value.size());
    k["fpga_lines"] = std::to_string(p.fpga_reset_line) + " " + std::to_string(p.fpga_prog_line) + " " +
                      std::to_string(p.fpga_resets);
    k["keys"] = numbers(s.keys.data(), s.keys.size());
    k["inputs"] = std::to_string(s.door) + " " + std::to_string(s.air) + " " + std::to_string(s.drawer);
    const auto& m = s.m;
    k["mpos"] = floats(m.mpos.data(), 9);
    k["offset"] = floats(m.offset.data(), 9);
    k["modes"] = std::to_string(m.absolute) + " " + std::to_string(m.homed) + " " + std::to_string(m.feed);
    k["alarm"] = std::to_string(m.alarm) + " " + std::to_string(m.limits);
    k["spindle"] = numbers(m.spindle.data(), 4);
    k["coolant"] = numbers(m.coolant.data(), 4);
    k["tools"] = numbers(m.tools.data(), 2);
    const auto& j = m.job;
    k["job_name"] = j.name;
    k["job"] = std::to_string(j.active) + " " + std::to_string(j.resume_pending) + " " + std::to_string(j.start_line) +
               " " + std::to_string(j.total_lines) + " " + std::to_string(j.parse_line) + " " +
               std::to_string(j.run_line) + " " + std::to_string(j.lines_seen) + " " + std::to_string(j.file_pos) +
               " " + std::to_string(j.download_bytes);
    k["ar"] = std::to_string(s.ar.homed) + " " + std::to_string(s.ar.cylinder_open) + " " + std::to_string(s.ar.point);
    k["ar_log"] = hex(reinterpret_cast<const uint8_t*>(s.ar.log.data()), s.ar.log.size());
    k["update"] = std::to_string(s.upd.kind) + " " + std::to_string(s.upd.size) + " " +
                  std::to_string(uint64_t(s.upd.done)) + " " + std::to_string(s.upd.failed);
    k["update_file"] = s.upd.file;
    k["sd_last_closed"] = s.sd.last_closed;
    return k;
}

void apply(board_state& s, kv_map& k)
{
    auto num = [&](const char* key, auto& v) {
        if (k.count(key)) numbers_in(k[key], &v, 1);
    };
    auto& id = s.id;
    num("product", id.product);
    num("variant", id.variant);
    num("fw_major", id.fw_major);
    num("fw_minor", id.fw_minor);
    num("drive_version", id.drive_version);
    if (k.count("board_id")) unhex(k["board_id"], id.board_id.data(), 12);
    if (k.count("machine_id")) unhex(k["machine_id"], id.machine_id.data(), 12);
    auto& p = s.per;
    numbers_in(k["status_led"], p.status_led.data(), 3);
    uint32_t pair[2] = {};
    numbers_in(k["buzzer"], pair, 2);
    p.buzzer_duty = uint8_t(pair[0]);
    p.buzzer_period = pair[1];
    uint16_t rgb[3] = {};
    numbers_in(k["rgb"], rgb, 3);
    p.rgb_progress = rgb[0], p.rgb_fh = rgb[1], p.rgb_bh = rgb[2];
    numbers_in(k["strip"], p.strip.data(), p.strip.size());
    numbers_in(k["colour_slots"], p.colour_slots.data(), p.colour_slots.size());
    uint32_t outs[4] = {};
    numbers_in(k["outputs"], outs, 4);
    p.tool_switch = {uint8_t(outs[0]), uint8_t(outs[1])};
    p.dust = uint8_t(outs[2]);
    p.calibrations = outs[3];
    numbers_in(k["led_state"], p.led_state.data(), p.led_state.size());
    numbers_in(k["led_value"], p.led_value.data(), p.led_value.size());
    uint32_t lines[3] = {1, 1, 0};
    if (k.count("fpga_lines")) numbers_in(k["fpga_lines"], lines, 3);
    p.fpga_reset_line = uint8_t(lines[0]), p.fpga_prog_line = uint8_t(lines[1]), p.fpga_resets = lines[2];
    numbers_in(k["keys"], s.keys.data(), s.keys.size());
    uint8_t in[3] = {1, 1, 1};
    if (k.count("inputs")) numbers_in(k["inputs"], in, 3);
    s.door = in[0], s.air = in[1], s.drawer = in[2];
    auto& m = s.m;
    numbers_in(k["mpos"], m.mpos.data(), 9);
    numbers_in(k["offset"], m.offset.data(), 9);
    float modes[3] = {1, 0, 1000};
    if (k.count("modes")) numbers_in(k["modes"], modes, 3);
    m.absolute = modes[0] != 0, m.homed = modes[1] != 0, m.feed = modes[2];
    uint32_t al[2] = {};
    numbers_in(k["alarm"], al, 2);
    m.alarm = uint16_t(al[0]), m.limits = uint16_t(al[1]);
    numbers_in(k["spindle"], m.spindle.data(), 4);
    numbers_in(k["coolant"], m.coolant.data(), 4);
    numbers_in(k["tools"], m.tools.data(), 2);
    auto& j = m.job;
    j.name = k["job_name"];
    uint64_t jv[9] = {};
    numbers_in(k["job"], jv, 9);
    j.active = jv[0], j.resume_pending = jv[1], j.start_line = uint32_t(jv[2]), j.total_lines = uint32_t(jv[3]);
    j.parse_line = uint32_t(jv[4]), j.run_line = uint32_t(jv[5]), j.lines_seen = uint32_t(jv[6]);
    j.file_pos = jv[7], j.download_bytes = uint32_t(jv[8]);
    uint32_t ar[3] = {};
    numbers_in(k["ar"], ar, 3);
    s.ar.homed = ar[0], s.ar.cylinder_open = ar[1], s.ar.point = ar[2];
    std::string log(k["ar_log"].size() / 2, '\0');
    unhex(k["ar_log"], reinterpret_cast<uint8_t*>(log.data()), log.size());
    s.ar.log = log;
    uint64_t up[4] = {};
    numbers_in(k["update"], up, 4);
    s.upd.kind = int(up[0]), s.upd.size = uint32_t(up[1]), s.upd.done = double(up[2]), s.upd.failed = up[3];
    s.upd.file = k["update_file"];
    s.sd.last_closed = k["sd_last_closed"];
}

void new_identity(identity& id)
{
    std::random_device rd;
    for (auto& b : id.board_id) b = uint8_t(rd());
    const char digits[] = "0123456789ABCDEF";
    std::string mid = "SIM";
    for (int i = 0; mid.size() < 12; ++i) mid += digits[id.board_id[i] & 15];
    std::copy_n(mid.begin(), 12, id.machine_id.begin());
}

}  // namespace

void load_state(board::impl& b)
{
    auto& s = b.st;
    s = board_state{};
    s.fram.assign(FRAM_SIZE, 0);
    s.user.assign(USER_DATA_SIZE, 0xFF);
    std::error_code ec;
    fs::create_directories(b.dir + "/sd", ec);

    kv_map k;
    std::ifstream f(b.dir + "/board.state");
    bool known = bool(f);
    std::string line;
    while (std::getline(f, line)) {
        auto eq = line.find('=');
        if (eq != std::string::npos) k[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (known) apply(s, k);
    else new_identity(s.id);

    std::vector<uint8_t> raw;
    if (read_blob(b.dir + "/fram.bin", raw)) std::copy_n(raw.begin(), std::min<size_t>(raw.size(), FRAM_SIZE), s.fram.begin());
    if (read_blob(b.dir + "/user.bin", raw))
        std::copy_n(raw.begin(), std::min<size_t>(raw.size(), USER_DATA_SIZE), s.user.begin());
    read_blob(b.dir + "/fpga.bin", s.fpga);
    read_blob(b.dir + "/app.bin", s.app);
    if (known) floats_from(b.dir + "/params.bin", s.params);
    else s.params.assign(64, 0.0f);  // a new board comes with a table of 64 zeros
    floats_from(b.dir + "/block0.bin", s.blocks[0]);
    floats_from(b.dir + "/block1.bin", s.blocks[1]);

    // Options impose identity fields over what the directory held.
    const auto& c = b.cfg;
    if (c.set_product) s.id.product = c.id.product;
    if (c.set_variant) s.id.variant = c.id.variant;
    if (c.set_major) s.id.fw_major = c.id.fw_major;
    if (c.set_minor) s.id.fw_minor = c.id.fw_minor;
    if (c.set_drive) s.id.drive_version = c.id.drive_version;
    if (c.set_board_id) s.id.board_id = c.id.board_id;
    if (c.set_machine_id) s.id.machine_id = c.id.machine_id;

    // Machine settings: the defaults, what the directory kept, then the options.
    auto& ms = b.mo.settings;
    ms = gcode::machine_settings::defaults();
    std::string why;
    if (known && k.count("settings") && !gcode::apply_settings(ms, k["settings"], &why))
        b.trace("   kept machine settings ignored: " + why);
    if (c.travel != 1000.0f)
        for (int i = 0; i < 9; ++i)
            if (!gcode::rotary_axis(i)) ms.travel_min[size_t(i)] = -c.travel, ms.travel_max[size_t(i)] = c.travel;
    if (!c.settings.empty() && !gcode::apply_settings(ms, c.settings, &why)) b.trace("   machine settings ignored: " + why);
    motion_setup(b);

    // A job that was running when the board stopped is offered for resuming.
    if (s.m.job.active) {
        s.m.job.active = false;
        s.m.job.resume_pending = true;
    }
    b.dirty = D_SCALARS | D_FRAM | D_USER | D_FPGA | D_APP | D_PARAMS;
    save_state(b, true);
}

void save_state(board::impl& b, bool all)
{
    unsigned d = all ? ~0u : b.dirty;
    auto& s = b.st;
    if (d & D_SCALARS) {
        std::string text;
        for (auto& [key, value] : scalars(s)) text += key + "=" + value + "\n";
        text += "settings=" + gcode::settings_text(b.mo.settings) + "\n";
        write_blob(b.dir + "/board.state", text.data(), text.size());
    }
    if (d & D_FRAM) write_blob(b.dir + "/fram.bin", s.fram.data(), s.fram.size());
    if (d & D_USER) write_blob(b.dir + "/user.bin", s.user.data(), s.user.size());
    if (d & D_FPGA) write_blob(b.dir + "/fpga.bin", s.fpga.data(), s.fpga.size());
    if (d & D_APP) write_blob(b.dir + "/app.bin", s.app.data(), s.app.size());
    if (d & D_PARAMS) {
        floats_blob(b.dir + "/params.bin", s.params);
        floats_blob(b.dir + "/block0.bin", s.blocks[0]);
        floats_blob(b.dir + "/block1.bin", s.blocks[1]);
    }
    b.dirty = 0;
    b.last_save = clock_type::now();
}

}  // namespace bsim
