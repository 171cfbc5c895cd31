// The NC job: the start block (48/1), the file arriving by offset (49), the
// job executed line by line at the configured rate, stop, continue and
// reset, and the delivery of the result text (48/4). Also routes the rest of
// command 48.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "gcode/block.h"
#include <fstream>

#include "impl.h"

namespace fs = std::filesystem;

namespace bsim {

namespace {

constexpr double QUIET_SECONDS = 1.0;  // no new data this long: the file is complete
// A job whose file has no bytes yet waits this long for the first ones: the
// host sends them after the start block and its own checks, which a loaded
// host (or one under a sanitizer) can stretch past a second.
constexpr double FIRST_DATA_SECONDS = 10.0;

void refuse(board::impl& b, const std::string& why)
{
    ++b.cnt.refused;
    b.trace("   refused: " + why);
}

bool all_nul(const std::string& s) { return s.find_first_not_of('\0') == std::string::npos; }

bool gone_quiet(const job_state& j, time_point now)
{
    double limit = j.download_bytes == 0 ? FIRST_DATA_SECONDS : QUIET_SECONDS;
    return std::chrono::duration<double>(now - j.last_data).count() > limit;
}

// The next complete line at the job's file position. A last line without a
// line feed counts once the download has gone quiet.
bool next_line(board::impl& b, time_point now, std::string& line, uint64_t& advance)
{
    auto& j = b.st.m.job;
    std::vector<uint8_t> chunk;
    read_file_at(b.sd_file(j.name), uint32_t(j.file_pos), 4096, chunk);
    std::string text(chunk.begin(), chunk.end());
    size_t nl = text.find('\n');
    if (nl != std::string::npos) {
        line = text.substr(0, nl);
        advance = nl + 1;
        return true;
    }
    bool quiet = gone_quiet(j, now);
    if (!text.empty() && !all_nul(text) && quiet && text.size() < 4096) {
        line = text;
        advance = text.size();
        return true;
    }
    return false;
}

void job_finish(board::impl& b)
{
    auto& j = b.st.m.job;
    j.active = false;
    j.paused = false;
    j.resume_pending = false;
    j.parse_line = j.run_line;
    motion_stop(b);
    add_result(b, "nc", json_string("done"));
    b.log_event("job " + j.name + " finished at line " + std::to_string(j.run_line));
    b.mark(D_SCALARS);
}

void finish_parsing(board::impl& b)
{
    b.st.m.job.parsing_done = true;
    b.mo.eng->finish();
}

// The lines before the start line set modes (units, distances, offsets,
// feed) but move nothing; the machine then goes on from where it stands.
void end_skipping(board::impl& b)
{
    auto& j = b.st.m.job;
    j.skipping = false;
    motion_stop(b);
    if (j.start_line > 1) j.run_line = std::max(j.run_line, j.start_line - 1);
}

// Reads and plans the job's next line. False when no line can be read now.
bool parse_next(board::impl& b, time_point now)
{
    auto& j = b.st.m.job;
    std::string line;
    uint64_t advance = 0;
    if (!next_line(b, now, line, advance)) {
        if (gone_quiet(j, now)) {
            if (j.skipping) end_skipping(b);
            finish_parsing(b);
        }
        return false;
    }
    if (j.lines_seen == 0 && j.file_pos == 0 && line.rfind("(NFL", 0) == 0) {
        // The header announces the line count; it is not a program line.
        j.total_lines = uint32_t(std::strtoul(line.c_str() + 4, nullptr, 10));
        j.file_pos += advance;
        return true;
    }
    uint32_t number = j.lines_seen + 1;
    j.file_pos += advance;
    j.lines_seen = number;
    gcode::block blk;
    gcode::parse_block(line, blk);
    blk.line = number;
    bool last = j.total_lines && number >= j.total_lines;
    if (number < j.start_line) {
        j.skipping = true;
        b.mo.eng->run(blk);
        b.mo.eng->plan().clear();
        b.mo.queue.clear();
        if (last) {
            end_skipping(b);
            finish_parsing(b);
        }
        return true;
    }
    if (j.skipping) end_skipping(b);
    j.parse_line = number;
    if (!blk.dollar.empty()) setting(b, blk.dollar);
    gcode::outcome o = b.mo.eng->run(blk);
    if (!o.ok()) {
        // Everything before the line runs; the machine stops before it.
        j.fault_line = number;
        j.fault_word = o.word;
        if (o.problem == gcode::issue::travel) {
            j.fault_alarm = ALARM_LIMIT;
            j.fault_text = o.why;
        } else {
            j.fault_alarm = ALARM_PROGRAM;
            j.fault_text = "line " + std::to_string(number) + ": " + o.word + ": " + o.why;
        }
        finish_parsing(b);
        return false;
    }
    sync_modal(b);
    if (b.mo.eng->interp().state().ended || last) finish_parsing(b);
    return true;
}

// The machine has reached a line it cannot run: the alarm, with the line
// and the word in the result text.
void job_fault(board::impl& b)
{
    auto& j = b.st.m.job;
    uint32_t line = j.fault_line;
    std::string word = j.fault_word, text = j.fault_text;
    uint16_t code = j.fault_alarm;
    if (code == ALARM_LIMIT) {
        int axis = gcode::axis_index(word.empty() ? 'X' : word[0]);
        if (axis >= 0) b.st.m.limits |= uint16_t(1u << axis);
    }
    raise_alarm(b, code, text);
    add_result(b, "line", std::to_string(line));
    add_result(b, "word", json_string(word));
}

constexpr int MAX_PARSE_PER_TICK = 4000;  // bounds one tick's work on any program

// Advances the job by one tick: lines are read and planned ahead of the
// machine, which follows the planned segments in time (time_scale planned
// seconds per second, slowed by the slowdown factor). The executing line is
// the one whose motion is under way; lines are taken at most line_rate a
// second when that is set.
void job_step(board::impl& b, time_point now, double seconds)
{
    auto& j = b.st.m.job;
    auto& mo = b.mo;
    if (b.cfg.line_rate > 0) j.credit = std::min(j.credit + seconds * b.cfg.line_rate, 64.0);
    double budget = seconds * b.cfg.time_scale * b.cfg.slowdown;
    int parsed = 0;
    j.kind_bits = 0;
    while (j.active && !j.paused && b.st.m.alarm == 0) {
        while (mo.queue.size() < 2 && !j.parsing_done && parsed < MAX_PARSE_PER_TICK) {
            if (!parse_next(b, now)) break;
            ++parsed;
        }
        uint32_t target;
        if (!mo.queue.empty()) target = uint32_t(mo.queue.front().line);
        else if (j.parsing_done) target = j.fault_line ? j.fault_line : std::max(j.lines_seen, j.run_line);
        else break;  // waiting for the download, or for the next tick's reading
        if (j.run_line < target) {
            uint32_t step = target - j.run_line;
            if (b.cfg.line_rate > 0) {
                step = std::min(step, uint32_t(j.credit));
                j.credit -= step;
            }
            j.run_line += step;
            b.mark(D_SCALARS);
            if (j.run_line < target) break;
        }
        if (mo.queue.empty()) {
            if (j.fault_line) job_fault(b);
            else job_finish(b);
            break;
        }
        const gcode::segment& seg = mo.queue.front();
        j.kind_bits = kind_bits(seg.kind);
        double left = seg.seconds - mo.seg_elapsed;
        if (budget < left) {
            mo.seg_elapsed += budget;
            auto p = gcode::position_at(seg, mo.seg_elapsed);
            for (int i = 0; i < 9; ++i) b.st.m.mpos[size_t(i)] = float(p[size_t(i)]);
            b.mark(D_SCALARS);
            break;
        }
        budget -= left;
        gcode::segment done = seg;
        mo.queue.pop_front();
        mo.seg_elapsed = 0;
        segment_done(b, done);
        if (done.kind == gcode::motion::stop) {
            // M0: the program waits until the operator continues it.
            j.paused = true;
            add_result(b, "stop", json_string("M0"));
            add_result(b, "line", std::to_string(done.line));
            b.log_event("job " + j.name + " stopped by M0 at line " + std::to_string(done.line));
            break;
        }
    }
    if (j.active && !j.paused) b.mark(D_SCALARS);
}

// Result text goes out as one JSON object; reads continue it until one
// comes back shorter than asked for.
void deliver_result(board::impl& b, uint32_t want, std::vector<uint8_t>& out)
{
    auto& m = b.st.m;
    if (!m.delivering) {
        m.delivery.clear();
        if (!m.result.empty()) {
            m.delivery += '{';  // cleared above
            for (size_t i = 0; i < m.result.size(); ++i) {
                if (i) m.delivery += ',';
                m.delivery += json_string(m.result[i].first);
                m.delivery += ':';
                m.delivery += m.result[i].second;
            }
            m.delivery += "}";
        }
        m.result.clear();
        m.delivery_pos = 0;
        m.delivering = true;
    }
    size_t n = std::min<size_t>(want, m.delivery.size() - m.delivery_pos);
    out.assign(m.delivery.begin() + long(m.delivery_pos), m.delivery.begin() + long(m.delivery_pos + n));
    m.delivery_pos += n;
    if (n < want) m.delivering = false;
}

void nc_data(board::impl& b, const request& r, std::vector<uint8_t>& out)
{
    auto& j = b.st.m.job;
    if (j.name.empty()) return refuse(b, "NC data without a started job");
    std::string path = b.sd_file(j.name);
    if (r.type == T_READ) return read_file_at(path, r.arg, r.data_len, out);
    std::error_code ec;
    if (r.arg == 0) {
        sd_close_file(b);  // the kept SD file may be this one
        fs::remove(path, ec);  // a download starts over
    }
    if (!write_file_at(path, r.arg, r.payload)) {
        // The card's directory is made when a write finds it missing.
        fs::create_directories(b.sd_dir(), ec);
        write_file_at(path, r.arg, r.payload);
    }
    j.download_bytes = r.arg == 0 ? uint32_t(r.payload.size()) : std::max<uint32_t>(j.download_bytes, r.arg + uint32_t(r.payload.size()));
    j.last_data = clock_type::now();
}

}  // namespace

void job_start(board::impl& b, const request& r)
{
    if (r.payload.size() < 9) return refuse(b, "short NC start block");
    std::string name = sd_name(std::vector<uint8_t>(r.payload.begin() + 8, r.payload.end()));
    if (name.empty()) return refuse(b, "NC start block without a file name");
    auto& j = b.st.m.job;
    j = job_state{};
    j.name = name;
    // Hosts may send a start line below zero when resuming early in a file;
    // it starts from the beginning.
    uint32_t start = get32(&r.payload[4]);
    j.start_line = start > 0x7FFFFFFFu ? 0 : start;
    j.active = true;
    j.last_data = clock_type::now();
    motion_stop(b);
    std::error_code ec;
    auto size = fs::file_size(b.sd_file(name), ec);
    j.download_bytes = ec ? 0 : uint32_t(size);
    char text[160];
    std::snprintf(text, sizeof text, "job %s from line %u (host time %u)", name.c_str(), j.start_line,
                  get32(r.payload.data()));
    b.log_event(text);
    b.mark(D_SCALARS);
}

void job_interrupt(board::impl& b, const char* why)
{
    auto& j = b.st.m.job;
    if (!j.active) return;
    j.active = false;
    j.paused = false;
    j.resume_pending = true;
    motion_stop(b);
    b.log_event("job " + j.name + " interrupted by " + why + " at line " + std::to_string(j.run_line));
    b.mark(D_SCALARS);
}

uint32_t run_state_of(const board::impl& b)
{
    const auto& m = b.st.m;
    const auto& j = m.job;
    auto now = clock_type::now();
    uint32_t rs = 0;
    if (j.active) {
        rs |= RS_RUNNING;
        if (j.paused) rs |= RS_PAUSED;
        else if (m.alarm == 0) rs |= RS_WORKING | (j.kind_bits ? j.kind_bits : RS_MOVING);
        if (j.parse_line > j.run_line) rs |= RS_PARSING;
    }
    if (now < m.busy_until) rs |= m.busy_bits;
    if (now < b.st.ar.busy_until) rs |= RS_AR;
    return rs;
}

void machine_tick(board::impl& b, time_point now, double seconds)
{
    auto& m = b.st.m;
    if (now >= m.busy_until) m.busy_bits = 0;
    auto& u = b.st.upd;
    if (u.kind && !u.failed && u.done < u.size) {
        u.done += seconds * b.cfg.update_rate;
        if (u.done >= u.size) {
            u.done = u.size;
            if (u.kind == 5) {
                std::vector<uint8_t> image;
                read_file_at(b.sd_file(u.file), 0, u.size, image);
                b.st.app = image;
                b.mark(D_APP);
            }
            b.log_event("update from " + u.file + " done, " + std::to_string(u.size) + " bytes");
        }
        b.mark(D_SCALARS);
    }
    if (m.job.active) job_step(b, now, seconds);
}

void handle_machine(board::impl& b, const request& r, std::vector<uint8_t>& out)
{
    auto& m = b.st.m;
    if (r.cmd == 49) return nc_data(b, r, out);
    switch (r.arg) {
    case 1: job_start(b, r); break;
    case 3: {
        std::string line(r.payload.begin(), r.payload.end());
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == '\0')) line.pop_back();
        execute_line(b, line);
        break;
    }
    case 4: deliver_result(b, std::min<uint32_t>(r.data_len, MAX_PAYLOAD), out); break;
    case 5:
        out = build_status(b);
        if (out.size() > r.data_len) out.resize(r.data_len);
        break;
    case 6:
        if (m.job.active) m.job.paused = true;
        m.busy_bits = 0;
        break;
    case 7:
        if (m.job.active && m.job.paused) {
            m.job.paused = false;
            m.job.credit = 0;
        }
        break;
    case 14:
        job_interrupt(b, "reset");
        m.alarm = 0;
        m.limits = 0;
        m.spindle = {};
        m.coolant = {};
        m.busy_bits = 0;
        b.mark(D_SCALARS);
        break;
    case 8: case 9: case 10: case 11: case 17: handle_store(b, r, out); break;
    case 12: case 13: case 15: case 18: handle_outputs(b, r); break;
    default: refuse(b, "unknown machine selector " + std::to_string(r.arg));
    }
}

}  // namespace bsim
