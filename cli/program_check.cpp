// check: an NC program read, interpreted and planned on this side, without a
// machine or against the settings of the chosen board. run uses the same
// check before anything goes to the board.
#include "program_check.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "board_result.h"
#include "commands.h"
#include "exit_codes.h"
#include "output.h"

namespace {

// Asks the connected board for its settings text; false with a reason when
// it has none to give.
bool board_settings(session& s, gcode::machine_settings& out, std::string* why)
{
    // What earlier commands left in the result text is dropped first, so
    // the answer read below is the one to "$$".
    board_result stale, answer;
    if (read_board_result(s, stale) != rc::ok) return false;
    if (int r = s.dev->cnc_parser("$$"); r != PELK_OK) {
        *why = "the board did not take \"$$\" (" + std::to_string(r) + ")";
        return false;
    }
    if (read_board_result(s, answer) != rc::ok) {
        *why = "no answer to \"$$\"";
        return false;
    }
    const result_member* m = answer.find("settings");
    if (!m || !m->is_string) {
        std::string err = answer.text("err");
        *why = err.empty() ? "the board gave no settings" : "the board answered \"" + err + "\"";
        return false;
    }
    gcode::machine_settings next = out;
    std::string bad;
    if (!gcode::apply_settings(next, m->text, &bad)) {
        *why = "the board's settings cannot be used: " + bad;
        return false;
    }
    out = next;
    return true;
}

const char* unit_of(int axis) { return gcode::rotary_axis(axis) ? "deg" : "mm"; }

std::string finding_json(const gcode::finding& f)
{
    return json_object().integer("line", int64_t(f.line)).str("word", f.word).str("text", f.text).text();
}

std::string findings_json(const std::vector<gcode::finding>& list)
{
    std::vector<std::string> items;
    for (const auto& f : list) items.push_back(finding_json(f));
    return json_array(items);
}

}  // namespace

int machine_settings_for(session& s, const options& o, bool ask_board, gcode::machine_settings& out)
{
    out = gcode::machine_settings::defaults();
    if (ask_board) {
        std::string why;
        if (!board_settings(s, out, &why)) {
            if (!s.link_alive()) return fail(rc::link_lost, "asking the board for its settings: the link was lost");
            say("%s; the default machine settings apply", why.c_str());
        }
    }
    for (const auto& item : o.settings) {
        std::string why;
        if (!gcode::apply_setting(out, item, &why)) return fail(rc::usage, "--setting %s: %s", item.c_str(), why.c_str());
    }
    return rc::ok;
}

int check_file(const std::string& path, const gcode::machine_settings& settings, bool with_times,
               program_check& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(rc::local_file, "%s: %s", path.c_str(), std::strerror(errno));
    gcode::check_options opts;
    opts.max_findings = SHOWN_FINDINGS;
    out.times = gcode::line_times{};
    if (with_times) opts.on_segment = [&](const gcode::segment& seg) { out.times.add(seg); };
    out.report = gcode::check_program(in, settings, opts);
    if (in.bad()) return fail(rc::local_file, "%s: cannot be read", path.c_str());
    if (with_times) out.times.close(out.report.lines);
    out.binary_line = 0;
    for (const auto& f : out.report.unsupported)
        if (f.kind == gcode::issue::not_text) {
            out.binary_line = f.line;
            break;
        }
    return rc::ok;
}

std::string format_duration(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    uint64_t t = uint64_t(std::llround(seconds));
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu", (unsigned long long)(t / 3600),
                  (unsigned long long)(t / 60 % 60), (unsigned long long)(t % 60));
    return buf;
}

void print_findings(FILE* to, const char* indent, const std::vector<gcode::finding>& list, uint64_t count,
                    size_t shown)
{
    size_t n = std::min(list.size(), shown);
    for (size_t i = 0; i < n; ++i) {
        const auto& f = list[i];
        std::fprintf(to, "%sline %llu: %s%s%s\n", indent, (unsigned long long)f.line, f.word.c_str(),
                     f.word.empty() ? "" : ": ", f.text.c_str());
    }
    if (count > n) std::fprintf(to, "%s... and %llu more\n", indent, (unsigned long long)(count - n));
}

int cmd_check(session& s, const options& o, const args_list& args)
{
    const std::string& file = args[0];
    // A board is asked for its settings only when one was chosen.
    bool ask_board = !o.id.empty() || o.index >= 0 || o.use_static || !o.address.empty();
    if (ask_board)
        if (int code = s.connect(o); code != rc::ok) return code;
    gcode::machine_settings settings;
    if (int code = machine_settings_for(s, o, ask_board, settings); code != rc::ok) return code;
    s.close();

    program_check pc;
    if (int code = check_file(file, settings, false, pc); code != rc::ok) return code;
    const auto& r = pc.report;

    if (o.json) {
        json_object extents;
        for (int i = 0; i < gcode::AXES; ++i)
            if (r.used[i])
                extents.raw(std::string(1, gcode::AXIS_LETTERS[i]),
                            json_array({json_number(r.min[i]), json_number(r.max[i])}));
        json_object j;
        j.integer("lines", int64_t(r.lines));
        j.raw("unsupported", findings_json(r.unsupported)).integer("unsupported_count", int64_t(r.unsupported_count));
        j.raw("beyond_travel", findings_json(r.beyond_travel));
        j.integer("beyond_travel_count", int64_t(r.beyond_travel_count));
        j.raw("extents", extents.text()).num("estimated_seconds", r.seconds);
        j.boolean("runnable", r.runnable()).boolean("not_text", r.not_text);
        std::printf("%s\n", j.text().c_str());
    } else if (r.not_text) {
        std::printf("%s: %llu lines\n", file.c_str(), (unsigned long long)r.lines);
    } else {
        std::printf("%s: %llu lines\n", file.c_str(), (unsigned long long)r.lines);
        if (r.unsupported_count) {
            std::printf("lines the machine cannot run: %llu\n", (unsigned long long)r.unsupported_count);
            print_findings(stdout, "  ", r.unsupported, r.unsupported_count);
        }
        if (r.beyond_travel_count) {
            std::printf("moves beyond the travel: %llu\n", (unsigned long long)r.beyond_travel_count);
            print_findings(stdout, "  ", r.beyond_travel, r.beyond_travel_count);
        }
        bool any = false;
        for (int i = 0; i < gcode::AXES; ++i)
            if (r.used[i]) {
                if (!any) std::printf("extents (machine coordinates):\n");
                any = true;
                std::printf("  %c  %12.3f .. %12.3f %s\n", gcode::AXIS_LETTERS[i], r.min[i], r.max[i], unit_of(i));
            }
        if (!any) std::printf("no motion\n");
        std::printf("estimated duration: %s (%.1f s)\n", format_duration(r.seconds).c_str(), r.seconds);
    }
    std::fflush(stdout);

    if (r.not_text) {
        if (pc.binary_line)
            return fail(rc::program, "%s: not a G-code program: binary data at line %llu", file.c_str(),
                        (unsigned long long)pc.binary_line);
        return fail(rc::program, "%s: not a G-code program: binary data", file.c_str());
    }
    if (!r.runnable())
        return fail(rc::program, "%s: the machine cannot run %llu line%s of it", file.c_str(),
                    (unsigned long long)(r.unsupported_count + r.beyond_travel_count),
                    r.unsupported_count + r.beyond_travel_count == 1 ? "" : "s");
    say("%s: runnable", file.c_str());
    return rc::ok;
}
