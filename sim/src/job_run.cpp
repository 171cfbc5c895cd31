// The NC job under way: its lines read from the card as they arrive, planned
// ahead through the machine's G-code engine, and followed in time until the
// program's end or a line the machine cannot run.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

#include "gcode/block.h"
#include "impl.h"

namespace bsim {

namespace {

constexpr double QUIET_SECONDS = 1.0;  // no new data this long: the file is complete
// A job whose file has no bytes yet waits this long for the first ones: the
// host sends them after the start block and its own checks, which a loaded
// host (or one under a sanitizer) can stretch past a second.
constexpr double FIRST_DATA_SECONDS = 10.0;

bool all_nul(std::string_view s) { return s.find_first_not_of('\0') == std::string::npos; }

bool gone_quiet(const job_state& j, time_point now)
{
    double limit = j.download_bytes == 0 ? FIRST_DATA_SECONDS : QUIET_SECONDS;
    return std::chrono::duration<double>(now - j.last_data).count() > limit;
}

constexpr uint32_t READ_AHEAD = 64 * 1024;

void read_ahead(board::impl& b, job_state& j)
{
    std::vector<uint8_t> block;
    read_file_at(b.sd_file(j.name), uint32_t(j.file_pos), READ_AHEAD, block);
    j.ahead.assign(reinterpret_cast<const char*>(block.data()), block.size());
    j.ahead_pos = j.file_pos;
}

// The next complete line at the job's file position, from the block read
// ahead. The block is read again where it holds no complete line (more may
// have arrived since) or a NUL (a part not yet written when it was read); a
// line with a NUL in it waits until the download has gone quiet, as does a
// last line without a line feed.
bool next_line(board::impl& b, time_point now, std::string& line, uint64_t& advance)
{
    auto& j = b.st.m.job;
    constexpr size_t none = std::string::npos;
    bool in_block = j.file_pos >= j.ahead_pos && j.file_pos < j.ahead_pos + j.ahead.size();
    size_t from = in_block ? size_t(j.file_pos - j.ahead_pos) : 0;
    size_t nl = in_block ? j.ahead.find('\n', from) : none;
    if (nl == none || j.ahead.find('\0', from) < nl) {
        read_ahead(b, j);
        from = 0;
        nl = j.ahead.find('\n');
    }
    bool quiet = gone_quiet(j, now);
    if (nl != none) {
        if (!quiet && j.ahead.find('\0', from) < nl) return false;
        line = j.ahead.substr(from, nl - from);
        advance = nl + 1 - from;
        return true;
    }
    std::string_view text = std::string_view(j.ahead).substr(from);
    if (!text.empty() && !all_nul(text) && quiet && text.size() < READ_AHEAD) {
        line = std::string(text);
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
}  // namespace

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


}  // namespace bsim
