// The NC job's frames: the start block (48/1), the file arriving by offset
// (49), stop, continue and reset, and the delivery of the result text
// (48/4). Also routes the rest of command 48. The job itself runs in
// job_run.cpp.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "impl.h"

namespace fs = std::filesystem;

namespace bsim {

namespace {

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
    if (j.name.empty()) return b.refuse("NC data without a started job");
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
    if (r.payload.size() < 9) return b.refuse("short NC start block");
    std::string name = sd_name(std::vector<uint8_t>(r.payload.begin() + 8, r.payload.end()));
    if (name.empty()) return b.refuse("NC start block without a file name");
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
    default: b.refuse("unknown machine selector " + std::to_string(r.arg));
    }
}

}  // namespace bsim
