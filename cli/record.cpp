#include "record.h"

#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

#include <mutex>

#include "cnc_tasks.h"
#include "exit_codes.h"
#include "output.h"
#include "sha256.h"

namespace {


bool keeps_records(const command_spec& c)
{
    std::string list = std::string(" ") + c.options + " ";
    return list.find(" record ") != std::string::npos;
}

// The commands whose first argument is the file that goes to the board.
bool sends_file(const command_spec& c)
{
    std::string n = c.name;
    return n == "fpga write" || n == "mcu write" || n == "sd put" || n == "run" || n.rfind("update ", 0) == 0;
}

std::string utc_now()
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

// Product, variant, firmware and drive firmware as info reports them; null
// when the board does not answer.
std::string versions(session& s)
{
    if (!s.link_alive()) return "null";
    cnc::identity id;
    if (cnc::read_identity(*s.dev, &id, true) != PELK_OK) return "null";
    json_object o;
    o.str("product", spaced_unknown(cnc::product_name(id.version.product)));
    o.str("variant", spaced_unknown(cnc::variant_name(id.version.variant)));
    o.str("firmware", cnc::version_text(id.version.major, id.version.minor));
    if (id.drive_known) o.str("drive_firmware", cnc::drive_version_text(id.drive_version));
    else o.raw("drive_firmware", "null");
    return o.text();
}

const report_field* field(const session& s, const std::string& key)
{
    const report_field* found = nullptr;
    for (const auto& f : s.report)
        if (f.key == key) found = &f;  // the last one counts
    return found;
}

}  // namespace

record_context record_begin(session& s, const options& o, const command_spec& c)
{
    record_context r;
    if (o.record.empty() || !keeps_records(c)) return r;
    r.active = true;
    r.time = utc_now();
    r.start = std::chrono::steady_clock::now();
    cnc::identity id;
    if (s.link_alive() && cnc::read_identity(*s.dev, &id, false) == PELK_OK)
        r.board_id = cnc::hex_text(id.board_id.data(), id.board_id.size());
    r.before = versions(s);
    return r;
}

int record_end(record_context& r, session& s, const options& o, const command_spec& c, const args_list& args,
               int code)
{
    if (!r.active) return code;
    r.active = false;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - r.start).count();
    std::string failure = code != rc::ok ? last_failure() : "";
    json_object line;
    line.str("time", r.time).str("operation", c.name);
    line.str("machine_id", s.board.machine_id);
    if (r.board_id.empty()) line.raw("board_id", "null");
    else line.str("board_id", r.board_id);
    line.str("address", s.board.address);
    line.raw("versions_before", r.before);
    line.raw("versions_after", versions(s));
    if (sends_file(c) && !args.empty()) {
        json_object image;
        image.str("name", args[0]);
        std::FILE* f = std::fopen(args[0].c_str(), "rb");
        long long size = -1;
        if (f) {
            if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
            std::fclose(f);
        }
        if (size >= 0) image.integer("size", size);
        else image.raw("size", "null");
        std::string digest = sha256_file(args[0]);
        if (digest.empty()) image.raw("sha256", "null");
        else image.str("sha256", digest);
        line.raw("image", image.text());
    } else {
        line.raw("image", "null");
    }
    auto copy = [&](const char* key) {
        const report_field* f = field(s, key);
        line.raw(key, f ? f->json : "null");
    };
    copy("bytes");
    line.num("duration_seconds", seconds);
    copy("bytes_per_second");
    bool skipped = field(s, "skipped") != nullptr;
    line.str("result", code == rc::ok ? (skipped ? "skipped" : "ok") : code == rc::interrupted ? "interrupted" : "failed");
    line.integer("exit_code", code);
    if (!failure.empty()) line.str("error", failure);

    std::string text = line.text() + "\n";
    // One write in append mode: lines from other boards' threads and from
    // programs working on other boards at the same time stay whole.
    static std::mutex one_at_a_time;
    bool ok = false;
    {
        std::lock_guard<std::mutex> g(one_at_a_time);
        int fd = ::open(o.record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
            if (::close(fd) != 0) ok = false;
        }
    }
    if (!ok) {
        int why = fail(rc::local_file, "--record %s: cannot append the record", o.record.c_str());
        return code == rc::ok ? why : code;
    }
    return code;
}
