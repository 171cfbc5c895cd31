// Machine commands: status (once or watched), command lines, stop, continue,
// reset and home.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "board_result.h"
#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "output.h"
#include "progress.h"
#include "status_view.h"

namespace {

constexpr size_t MAX_LINE = 1278;      // the interpreter's line buffer less line feed and terminator

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

int simple(session& s, int (cnc::board::*op)(), const char* what)
{
    int r = ((*s.dev).*op)();
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
    // What earlier commands or a job left in the result text is read and
    // dropped first, or it would pass for the answer to the first line.
    board_result answer, gathered;
    if (int code = read_board_result(s, answer); code != rc::ok) return code;
    size_t sent = 0;
    auto show = [&](bool ok) {
        std::string result = gathered.json();
        if (o.json) {
            // The result text is JSON itself when the interpreter answered.
            json_object out;
            out.integer("sent", int64_t(sent)).boolean("ok", ok).str("result", result);
            std::printf("%s\n", out.text().c_str());
        } else if (!result.empty()) {
            std::printf("%s\n", result.c_str());
        }
        std::fflush(stdout);
    };
    for (const auto& line : lines) {
        if (int r = s.dev->cnc_parser(line.c_str()); r != PELK_OK) {
            int code = s.failed(r, ("sending [" + line + "]").c_str());
            show(false);
            return code;
        }
        ++sent;
        if (int code = read_board_result(s, answer); code != rc::ok) {
            show(false);
            return code;
        }
        // Each line's outcome replaces the one before, as on the board.
        if (answer.has("ok") || answer.has("err")) {
            gathered.erase("ok");
            gathered.erase("err");
        }
        gathered.merge(answer);
        bool alarm = answer.has("alarm");
        if (!alarm && !answer.has("err")) continue;
        show(false);
        std::string why = answer.text("err");
        if (why.empty()) why = "alarm " + answer.text("alarm");
        else if (alarm) why += " (alarm " + answer.text("alarm") + ")";
        double code_number = 0;
        if (alarm && answer.number("alarm", &code_number)) why += ": " + alarm_text(uint32_t(code_number));
        if (sent > 1) say("%zu line%s sent before it", sent - 1, sent == 2 ? "" : "s");
        return fail(alarm ? rc::alarm : rc::program, "[%s]: %s", line.c_str(), why.c_str());
    }
    show(true);
    say("%zu line%s sent", sent, sent == 1 ? "" : "s");
    return rc::ok;
}

int cmd_stop(session& s, const options&, const args_list&) { return simple(s, &cnc::board::cnc_dev_stop, "stop"); }
int cmd_continue(session& s, const options&, const args_list&)
{
    return simple(s, &cnc::board::cnc_dev_continue, "continue");
}
int cmd_reset(session& s, const options&, const args_list&) { return simple(s, &cnc::board::cnc_dev_reset, "reset"); }
int cmd_home(session& s, const options&, const args_list&) { return simple(s, &cnc::board::cnc_dev_home, "home"); }
