// run: an NC program checked on this side, then through the library's
// pipeline (numbering, comparison with the board's copy, start, download),
// then the job followed to its end with the board's own account of rejected
// lines, alarms and stops.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "board_result.h"
#include "cnc_tasks.h"
#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "local_files.h"
#include "output.h"
#include "program_check.h"
#include "status_view.h"

namespace {

using clock_type = std::chrono::steady_clock;
constexpr auto POLL_PERIOD = std::chrono::milliseconds(500);
// A job that is never seen running is taken as ended once the machine has
// stayed idle this long after the download.
constexpr auto IDLE_GRACE = std::chrono::seconds(3);
// The numbered copy's name ("_N.nc" added) must fit the start block.
constexpr size_t MAX_NUMBERED_NAME = 247;
// The board's alarms for a line its interpreter refused, and for a move
// beyond the travel (the machine's own alarm, whichever line caused it).
constexpr uint32_t PROGRAM_ALARM = 3;
constexpr uint32_t LIMIT_ALARM = 2;
// While the job waits at a programmed stop, `pelkctl continue` takes the
// board's one connection over; this one then connects again, after the other
// has had the time to send its command.
constexpr auto RECONNECT_PAUSE = std::chrono::milliseconds(1500);
constexpr int RECONNECT_ATTEMPTS = 10;

std::string base_name(const std::string& path)
{
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name the job goes by on the board: the numbered copy's; empty when
// that name would not fit.
std::string numbered_name(const std::string& path) { return base_name(cnc::numbered_program_name(path)); }

// A source numbered already goes to the board as it is, and the board does
// not count its "(NFL" header line: the board's line N is the file's N+1.
uint32_t header_lines(const std::string& path)
{
    if (numbered_name(path) != base_name(path)) return 0;
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    in.read(head, 4);
    return in.gcount() == 4 && std::memcmp(head, "(NFL", 4) == 0 ? 1 : 0;
}

std::string job_name(const cnc_status& st) { return std::string(st.job_name, strnlen(st.job_name, CNC_JOB_NAME_LEN)); }

// The job's progress on standard error: one line redrawn on a terminal,
// otherwise a line at each tenth of the program and at every state change.
class job_display {
public:
    explicit job_display(uint32_t total) : total(total), tty(::isatty(STDERR_FILENO) == 1) {}
    void show(const std::string& phase, const std::string& text, uint32_t line, uint32_t run_state)
    {
        std::string all = phase + ": " + text;
        if (tty) {
            std::fprintf(stderr, "\r\033[K%s", all.c_str());
            std::fflush(stderr);
            drawn = true;
            return;
        }
        int tenth = total ? int(uint64_t(std::min(line, total)) * 10 / total) : 0;
        if (tenth == last_tenth && run_state == last_state && phase == last_phase) return;
        last_tenth = tenth;
        last_state = run_state;
        last_phase = phase;
        std::fprintf(stderr, "pelkctl: %s\n", all.c_str());
    }
    // Clears the redrawn line before a message of its own.
    void end()
    {
        if (tty && drawn) std::fputc('\n', stderr);
        drawn = false;
    }

private:
    uint32_t total;
    bool tty;
    bool drawn = false;
    int last_tenth = -1;
    uint32_t last_state = ~0u;
    std::string last_phase;
};

enum class choice { no_terminal, stop, resume };

// Asks on the controlling terminal whether the paused job stops or goes on.
// Ctrl-C while the question waits and a terminal that closes both mean stop.
choice ask_stop_or_continue(uint32_t line)
{
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return choice::no_terminal;
    std::string question = "\nThe machine is paused at line " + std::to_string(line) +
                           ". Stop the job (s, resets the machine) or continue it (c)? [s/c] ";
    choice answer = choice::stop;
    for (bool asking = true; asking;) {
        if (::write(fd, question.data(), question.size()) < 0) break;
        char buf[64];
        ssize_t n = -1;
        // Waits in short steps: a Ctrl-C that comes just before the read
        // would otherwise leave it blocked.
        bool interrupted = false;
        for (;;) {
            if (take_interrupt()) {
                interrupted = true;
                break;
            }
            pollfd p{fd, POLLIN, 0};
            int ready = ::poll(&p, 1, 100);
            if (ready < 0 && errno == EINTR) continue;
            if (ready != 0) {
                n = ::read(fd, buf, sizeof buf);
                if (n < 0 && errno == EINTR) continue;
                break;
            }
        }
        if (interrupted || n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            char c = buf[i];
            if (c == 's' || c == 'S') asking = false;
            if (c == 'c' || c == 'C') {
                answer = choice::resume;
                asking = false;
            }
            if (!asking || c == '\n') break;
        }
    }
    const char nl = '\n';
    if (::write(fd, &nl, 1) < 0) {
        // Only the terminal's tidiness is lost.
    }
    ::close(fd);
    return answer;
}

struct rejected_line {
    uint64_t line = 0;  // 0 when the board did not say
    std::string word, text;
};

void print_rejected(const std::vector<rejected_line>& list)
{
    size_t n = std::min(list.size(), SHOWN_FINDINGS);
    for (size_t i = 0; i < n; ++i) {
        const auto& r = list[i];
        // The board's text may name the line and word itself.
        bool named = r.text.rfind("line ", 0) == 0;
        std::string where = r.line && !named ? "line " + std::to_string(r.line) + ": " : "";
        std::string word = r.word.empty() || named ? "" : r.word + ": ";
        say("  %s%s%s", where.c_str(), word.c_str(), r.text.c_str());
    }
    if (list.size() > n) say("  ... and %zu more", list.size() - n);
}

std::string rejected_json(const std::vector<rejected_line>& list)
{
    std::vector<std::string> items;
    for (const auto& r : list)
        items.push_back(json_object().integer("line", int64_t(r.line)).str("word", r.word).str("text", r.text).text());
    return json_array(items);
}

// Refuses a program the check finds fault with, unless forced; an exit code.
int judge_program(const std::string& file, const program_check& pc, bool force)
{
    const auto& r = pc.report;
    if (r.not_text) {
        // Never sent, forced or not: the board would take it for a program.
        if (pc.binary_line)
            return fail(rc::program, "run: %s: not a G-code program: binary data at line %llu", file.c_str(),
                        (unsigned long long)pc.binary_line);
        return fail(rc::program, "run: %s: not a G-code program: binary data", file.c_str());
    }
    if (r.runnable()) return rc::ok;
    auto list = [&](const char* what, const std::vector<gcode::finding>& f, uint64_t count) {
        if (!count) return;
        say("  %s: %llu", what, (unsigned long long)count);
        print_findings(stderr, "pelkctl:     ", f, count, 10);
    };
    if (force) {
        say("run: %s holds lines the machine cannot run; running it as --force asks:", file.c_str());
        list("lines the machine cannot run", r.unsupported, r.unsupported_count);
        list("moves beyond the travel", r.beyond_travel, r.beyond_travel_count);
        return rc::ok;
    }
    int code = fail(rc::program, "run: %s holds lines the machine cannot run; nothing was sent (--force runs it anyway):",
                    file.c_str());
    list("lines the machine cannot run", r.unsupported, r.unsupported_count);
    list("moves beyond the travel", r.beyond_travel, r.beyond_travel_count);
    return code;
}

}  // namespace

int cmd_run(session& s, const options& o, const args_list& args)
{
    const std::string& file = args[0];
    uint64_t size = 0;
    if (int code = check_source(file, &size); code != rc::ok) return code;
    if (numbered_name(file).empty() || numbered_name(file).size() > MAX_NUMBERED_NAME)
        return fail(rc::local_file, "%s: the name is too long for the board", file.c_str());

    // The check comes before anything of the program goes to the board.
    gcode::machine_settings settings;
    if (int code = machine_settings_for(s, o, true, settings); code != rc::ok) return code;
    program_check pc;
    if (int code = check_file(file, settings, true, pc); code != rc::ok) return code;
    if (int code = judge_program(file, pc, o.force); code != rc::ok) return code;

    // The board numbers the lines the way the library counts them.
    cnc::nc_program_info info;
    if (cnc::inspect_nc_program(file, &info) != PELK_OK) return fail(rc::local_file, "%s: cannot be read", file.c_str());
    const uint32_t header = header_lines(file);
    const uint32_t total = info.lines - std::min(info.lines, header);
    // Planned time of the lines before the start line: the job skips them.
    const double skipped = o.from_line > 1 ? pc.times.at_line(o.from_line - 1 + header) : 0;
    const double estimate = pc.times.total_seconds() - skipped;

    cnc_status st{};
    if (int r = s.dev->cnc_get_status(&st); r != PELK_OK) return s.failed(r, "run: reading the machine status");
    if (st.alarm_code != 0)
        return fail(rc::alarm, "run: the machine is in alarm %u (%s); clear it before a job", st.alarm_code,
                    alarm_text(st.alarm_code).c_str());

    say("run: %s, %u lines, from line %u, compared by %s, estimated %s", file.c_str(), total, o.from_line,
        o.check ? "checksum" : "size", format_duration(estimate).c_str());

    catch_interrupt();
    std::atomic<bool> started{false};
    std::atomic<int> start_result{0};
    std::vector<char> path(file.begin(), file.end());
    path.push_back('\0');
    auto begin = clock_type::now();
    std::thread worker([&] {
        start_result = s.dev->cnc_start_nc_file(o.from_line, path.data(), o.check ? 1 : 0);
        started = true;
    });
    // Waits for the pipeline, unless the operator stopped the machine while
    // the program was still downloading.
    auto finish = [&](int code) {
        if (!started && code == rc::interrupted) {
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(code);  // the download cannot be cut short; the board keeps its state
        }
        worker.join();
        return code;
    };

    const std::string name = numbered_name(file);
    job_display display(total);
    std::vector<rejected_line> rejected;
    bool seen_running = false, ours = false, pipeline_noted = false;
    clock_type::time_point idle_since{}, run_since{}, last_poll = begin;
    double paused_seconds = 0;
    bool continue_pending = false;
    bool waiting_at_stop = false;  // stopped by the program, waiting for the operator
    // A read that failed while the job waits at a stop: another pelkctl
    // most likely took the connection to continue the job.
    auto taken_over = [&]() {
        if (!waiting_at_stop || !started || s.link_alive()) return false;
        display.end();
        say("run: the connection was taken over while the job waited; connecting again");
        for (int attempt = 0; attempt < RECONNECT_ATTEMPTS; ++attempt) {
            std::this_thread::sleep_for(RECONNECT_PAUSE);
            s.close();
            if (s.connect(o) == rc::ok) return true;
        }
        return false;
    };
    auto elapsed = [&](clock_type::time_point now) {
        if (run_since == clock_type::time_point{}) return 0.0;
        return std::max(0.0, std::chrono::duration<double>(now - run_since).count() - paused_seconds);
    };

    for (;;) {
        if (take_interrupt()) {
            // Pause first, ask afterwards: the machine must not go on moving
            // while the operator reads the question.
            display.end();
            if (int r = s.dev->cnc_dev_stop(); r != PELK_OK) return finish(s.failed(r, "run: pausing the machine"));
            // The line the board paused at, not the one of the last poll.
            std::memset(&st, 0, sizeof st);
            if (int r = s.dev->cnc_get_status(&st); r != PELK_OK)
                return finish(s.failed(r, "run: reading the machine status after the pause"));
            say("run: Ctrl-C: machine paused at line %u of %u", st.run_line, total);
            s.put_number("paused_line", st.run_line);
            auto asked_at = clock_type::now();
            choice c = ask_stop_or_continue(st.run_line);
            if (c == choice::no_terminal) {
                say("run: the machine stays paused; `pelkctl continue` resumes the job, `pelkctl reset` ends it");
                return finish(rc::interrupted);
            }
            if (c == choice::stop) {
                if (int r = s.dev->cnc_dev_reset(); r != PELK_OK) return finish(s.failed(r, "run: stopping the job"));
                say("run: job stopped (machine reset) at line %u", st.run_line);
                return finish(rc::interrupted);
            }
            if (int r = s.dev->cnc_dev_continue(); r != PELK_OK) return finish(s.failed(r, "run: continuing the job"));
            say("run: continuing the job from line %u", st.run_line);
            // The time spent asking is paused time, not running time.
            auto now = clock_type::now();
            if (run_since != clock_type::time_point{})
                paused_seconds += std::chrono::duration<double>(now - asked_at).count();
            last_poll = now;
        }
        std::memset(&st, 0, sizeof st);
        if (int r = s.dev->cnc_get_status(&st); r != PELK_OK) {
            if (taken_over()) continue;
            display.end();
            return finish(s.failed(r, "run: reading the machine status"));
        }
        auto now = clock_type::now();
        bool downloading = !started;
        if (!downloading && start_result != PELK_OK) {
            display.end();
            return finish(s.failed(start_result, "run: starting the job"));
        }
        if (!downloading && !pipeline_noted) {
            note("run: the board has the program and the job is announced; following it");
            pipeline_noted = true;
        }
        // Until the board reports this job running, its line and download
        // count still belong to the one before; once the pipeline is through,
        // the job has been announced.
        if (!ours && (!downloading || (job_name(st) == name && (st.run_state & CNC_RUN_PROGRAM)))) ours = true;
        if (ours && (st.run_state & CNC_RUN_PROGRAM)) {
            seen_running = true;
            if (run_since == clock_type::time_point{}) run_since = now;
            if (st.run_state & CNC_RUN_PAUSED) paused_seconds += std::chrono::duration<double>(now - last_poll).count();
        }
        last_poll = now;

        // The board's account since the last poll: rejected lines, alarms, stops.
        board_result res;
        if (int code = read_board_result(s, res); code != rc::ok) {
            if (taken_over()) continue;
            display.end();
            return finish(code);
        }
        double number = 0;
        uint64_t res_line = res.number("line", &number) && number > 0 ? uint64_t(number) : 0;
        bool res_alarm = res.has("alarm");
        if (res.has("err")) {
            rejected_line r{res_line, res.text("word"), res.text("err")};
            // The reason for an alarm is a rejected line only when it names
            // one and the alarm is not the machine's travel limit.
            double alarm_number = 0;
            bool limit = res_alarm && res.number("alarm", &alarm_number) && uint32_t(alarm_number) == LIMIT_ALARM;
            if (!res_alarm || (res_line && !limit)) {
                if (rejected.size() < SHOWN_FINDINGS && !res_alarm) {
                    display.end();
                    say("run: the board rejected %s%s: %s", res_line ? "line " : "a line",
                        res_line ? std::to_string(res_line).c_str() : "", r.text.c_str());
                }
                rejected.push_back(r);
            }
        }
        if (res.has("stop")) {
            display.end();
            std::string word = res.text("stop");
            std::string where = res_line ? "at line " + std::to_string(res_line) + " " : "";
            if (o.continue_at_stops) {
                say("run: the program stopped itself %s(%s); continuing", where.c_str(), word.c_str());
                continue_pending = true;
            } else {
                say("run: the program stopped itself %s(%s); continue with `pelkctl continue`", where.c_str(),
                    word.c_str());
                waiting_at_stop = true;
            }
        }
        if (waiting_at_stop && (st.run_state & CNC_RUN_PROGRAM) && !(st.run_state & CNC_RUN_PAUSED))
            waiting_at_stop = false;

        if (st.alarm_code != 0 || res_alarm) {
            display.end();
            double code_number = 0;
            uint32_t alarm = st.alarm_code ? st.alarm_code : (res.number("alarm", &code_number) ? uint32_t(code_number) : 0);
            std::string why = res.text("err");
            if (why.empty() && !rejected.empty()) why = rejected.back().text;
            if (alarm == PROGRAM_ALARM || (res_alarm && res_line && alarm != LIMIT_ALARM)) {
                if (rejected.empty()) rejected.push_back({res_line ? res_line : st.run_line, res.text("word"), why});
                int code = fail(rc::program, "run: the board stopped the job with alarm code %u (%s) at line %u; "
                                "it rejected %zu line%s:", alarm, alarm_text(alarm).c_str(), st.run_line,
                                rejected.size(), rejected.size() == 1 ? "" : "s");
                print_rejected(rejected);
                s.put("rejected", "", rejected_json(rejected));
                return finish(code);
            }
            uint64_t at = res_line ? res_line : st.run_line;
            s.put("rejected", "", rejected_json(rejected));
            s.put_number("alarm_code", alarm);
            s.put("alarm", alarm_text(alarm));
            return finish(fail(rc::alarm, "run: alarm code %u at line %llu%s%s (%s)", alarm, (unsigned long long)at,
                               why.empty() ? "" : ": ", why.c_str(), alarm_text(alarm).c_str()));
        }
        if (continue_pending && (st.run_state & CNC_RUN_PAUSED)) {
            if (int r = s.dev->cnc_dev_continue(); r != PELK_OK) {
                display.end();
                return finish(s.failed(r, "run: continuing the job"));
            }
            continue_pending = false;
        }

        if (!ours) {
            display.show("download", "preparing the job", 0, st.run_state);
        } else {
            std::string text = status_line(st, total);
            if (run_since != clock_type::time_point{}) {
                double e = elapsed(now);
                // The board reports the line under way: the lines before it
                // are done, and all of them once the job is over.
                bool over = !(st.run_state & CNC_RUN_PROGRAM);
                uint64_t done = st.run_line > 0 ? st.run_line - (over ? 0 : 1) + header : 0;
                double left = pc.times.remaining(done, e + skipped);
                text += "  elapsed " + format_duration(e) + "  left " + format_duration(left);
            }
            if (downloading) text = std::to_string(st.download_bytes) + " bytes  " + text;
            display.show(downloading ? "download" : "run", text, st.run_line, st.run_state);
        }

        if (!downloading && st.run_state == 0) {
            if (idle_since == clock_type::time_point{}) idle_since = now;
            if (seen_running || (ours && total && st.run_line >= total) || now - idle_since > IDLE_GRACE) break;
        } else {
            idle_since = {};
        }
        std::this_thread::sleep_for(POLL_PERIOD);
    }
    display.end();
    worker.join();
    auto end = clock_type::now();
    double secs = run_since == clock_type::time_point{} ? std::chrono::duration<double>(end - begin).count()
                                                        : elapsed(end);
    say("run: job ended at line %u of %u after %.1f s (estimated %.1f s)", st.run_line, total, secs, estimate);
    s.put_number("lines", total);
    s.put_number("end_line", st.run_line);
    s.put_number("seconds", secs);
    s.put_number("estimated_seconds", estimate);
    s.put("rejected", "", rejected_json(rejected));
    if (!rejected.empty()) {
        int code = fail(rc::program, "run: the board rejected %zu line%s of %s:", rejected.size(),
                        rejected.size() == 1 ? "" : "s", file.c_str());
        print_rejected(rejected);
        return code;
    }
    return rc::ok;
}
