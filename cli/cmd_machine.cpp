// Machine commands: status (once or watched), command lines, stop, continue,
// reset and home.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "output.h"
#include "progress.h"
#include "status_view.h"

namespace {

constexpr size_t MAX_LINE = 1278;      // the interpreter's line buffer less line feed and terminator
constexpr uint16_t RESULT_CAPACITY = 10240;

int read_status(session& s, cnc_status& st)
{
    std::memset(&st, 0, sizeof st);
    int r = s.dev->cnc_get_status(&st);
    return r == PELK_OK ? rc::ok : s.failed(r, "reading the machine status");
}

void show_status(const cnc_status& st, bool json, bool redraw)
{
    if (json) {
        std::printf("%s\n", status_json(st).c_str());
    } else {
        if (redraw) std::printf("\033[H\033[J");
        std::printf("%s", status_text(st).c_str());
        if (!redraw) std::printf("\n");
    }
    std::fflush(stdout);
}

int simple(session& s, int (pelk_cnc::*op)(), const char* what)
{
    int r = (s.dev->*op)();
    if (r != PELK_OK) return s.failed(r, what);
    say("%s: done", what);
    return rc::ok;
}

}  // namespace

int cmd_status(session& s, const options& o, const args_list&)
{
    cnc_status st;
    if (!o.watch) {
        int code = read_status(s, st);
        if (code == rc::ok) show_status(st, o.json, false);
        return code;
    }
    catch_interrupt();
    bool redraw = !o.json && ::isatty(fileno(stdout));
    auto next = std::chrono::steady_clock::now();
    while (!take_interrupt()) {
        int code = read_status(s, st);
        if (code != rc::ok) return code;
        show_status(st, o.json, redraw);
        next += std::chrono::milliseconds(500);
        // Sleep in short steps so Ctrl-C ends the watch at once.
        while (std::chrono::steady_clock::now() < next) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (take_interrupt()) return rc::ok;
        }
    }
    return rc::ok;
}

int cmd_gcode(session& s, const options& o, const args_list& lines)
{
    for (const auto& line : lines)
        if (line.size() > MAX_LINE)
            return fail(rc::usage, "a command line holds at most %zu bytes; one has %zu", MAX_LINE, line.size());
    size_t sent = 0;
    for (const auto& line : lines) {
        if (int r = s.dev->cnc_parser(line.c_str()); r != PELK_OK) {
            int code = s.failed(r, ("sending [" + line + "]").c_str());
            if (o.json)
                std::printf("%s\n", json_object().integer("sent", int64_t(sent)).boolean("ok", false).text().c_str());
            return code;
        }
        ++sent;
    }
    std::vector<uint8_t> text(RESULT_CAPACITY + 1, 0);
    uint16_t got = 0;
    if (int r = s.dev->cnc_get_results(text.data(), RESULT_CAPACITY, &got); r != PELK_OK)
        return s.failed(r, "reading the result text");
    std::string result(reinterpret_cast<const char*>(text.data()), strnlen(reinterpret_cast<const char*>(text.data()), got));
    if (o.json) {
        // The result text is JSON itself when the interpreter answered.
        json_object out;
        out.integer("sent", int64_t(sent)).boolean("ok", true).str("result", result);
        std::printf("%s\n", out.text().c_str());
    } else if (!result.empty()) {
        std::printf("%s\n", result.c_str());
    }
    say("%zu line%s sent", sent, sent == 1 ? "" : "s");
    return rc::ok;
}

int cmd_stop(session& s, const options&, const args_list&) { return simple(s, &pelk_cnc::cnc_dev_stop, "stop"); }
int cmd_continue(session& s, const options&, const args_list&)
{
    return simple(s, &pelk_cnc::cnc_dev_continue, "continue");
}
int cmd_reset(session& s, const options&, const args_list&) { return simple(s, &pelk_cnc::cnc_dev_reset, "reset"); }
int cmd_home(session& s, const options&, const args_list&) { return simple(s, &pelk_cnc::cnc_dev_home, "home"); }
