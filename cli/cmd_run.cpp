// run: an NC program through the library's pipeline (numbering, comparison
// with the board's copy, start, download), then the job followed to its end.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "local_files.h"
#include "output.h"
#include "status_view.h"

namespace {

using clock_type = std::chrono::steady_clock;
constexpr auto POLL_PERIOD = std::chrono::milliseconds(500);
// A job that is never seen running is taken as ended once the machine has
// stayed idle this long after the download.
constexpr auto IDLE_GRACE = std::chrono::seconds(3);
// The numbered copy's name ("_N.nc" added) must fit the start block.
constexpr size_t MAX_NUMBERED_NAME = 247;

// Lines as the console counts them: a last line without a line feed counts.
bool count_lines(const std::string& path, uint32_t* lines)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    uint32_t n = 0;
    int c, last = '\n';
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') ++n;
        last = c;
    }
    if (last != '\n') ++n;
    bool ok = !std::ferror(f);
    std::fclose(f);
    *lines = n;
    return ok;
}

std::string numbered_name(const std::string& path)
{
    std::string base = path.substr(path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1);
    auto dot = base.rfind('.');
    if (dot == std::string::npos) return base;
    if (dot >= 2 && base.compare(dot - 2, 2, "_N") == 0) return base;
    return base.substr(0, dot) + "_N.nc";
}

// The job's progress on standard error: one line redrawn on a terminal,
// otherwise a line at each tenth of the program and at every state change.
class job_display {
public:
    explicit job_display(uint32_t total) : total(total), tty(::isatty(STDERR_FILENO) == 1) {}
    void show(const cnc_status& st, const char* phase)
    {
        std::string text = std::string(phase) + ": " + status_line(st, total);
        if (tty) {
            std::fprintf(stderr, "\r\033[K%s", text.c_str());
            std::fflush(stderr);
            drawn = true;
            return;
        }
        int tenth = total ? int(uint64_t(std::min(st.run_line, total)) * 10 / total) : 0;
        if (tenth == last_tenth && st.run_state == last_state && phase == last_phase) return;
        last_tenth = tenth;
        last_state = st.run_state;
        last_phase = phase;
        std::fprintf(stderr, "pelkctl: %s\n", text.c_str());
    }
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
    const char* last_phase = nullptr;
};

}  // namespace

int cmd_run(session& s, const options& o, const args_list& args)
{
    const std::string& file = args[0];
    uint64_t size = 0;
    if (int code = check_source(file, &size); code != rc::ok) return code;
    if (numbered_name(file).size() > MAX_NUMBERED_NAME)
        return fail(rc::local_file, "%s: the name is too long for the board", file.c_str());
    uint32_t total = 0;
    if (!count_lines(file, &total)) return fail(rc::local_file, "%s: cannot be read", file.c_str());
    say("run: %s, %u lines, from line %u, compared by %s", file.c_str(), total, o.from_line,
        o.check ? "checksum" : "size");

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

    job_display display(total);
    bool seen_running = false;
    clock_type::time_point idle_since{};
    cnc_status st{};
    for (;;) {
        if (take_interrupt()) {
            display.end();
            bool asked = false;
            bool stop = ask_yes_no("Stop the machine?", &asked);
            if (!asked) stop = true;  // nobody to ask: the safe answer
            if (stop) {
                int r = s.dev->cnc_dev_stop();
                if (r != PELK_OK) return finish(s.failed(r, "stop"));
                say("run: machine stopped at line %u", st.run_line);
                return finish(rc::interrupted);
            }
        }
        std::memset(&st, 0, sizeof st);
        if (int r = s.dev->cnc_get_status(&st); r != PELK_OK) {
            display.end();
            return finish(s.failed(r, "run: reading the machine status"));
        }
        bool downloading = !started;
        if (!downloading && start_result != PELK_OK) {
            display.end();
            return finish(s.failed(start_result, "run: starting the job"));
        }
        display.show(st, downloading ? "download" : "run");
        if (st.alarm_code != 0) {
            display.end();
            return finish(fail(rc::alarm, "run: alarm code %u at line %u", st.alarm_code, st.run_line));
        }
        if (st.run_state & CNC_RUN_PROGRAM) seen_running = true;
        if (!downloading && st.run_state == 0) {
            auto now = clock_type::now();
            if (idle_since == clock_type::time_point{}) idle_since = now;
            if (seen_running || (total && st.run_line >= total) || now - idle_since > IDLE_GRACE) break;
        } else {
            idle_since = {};
        }
        std::this_thread::sleep_for(POLL_PERIOD);
    }
    display.end();
    worker.join();
    double secs = std::chrono::duration<double>(clock_type::now() - begin).count();
    say("run: job ended at line %u of %u after %.1f s", st.run_line, total, secs);
    s.put_number("lines", total);
    s.put_number("end_line", st.run_line);
    s.put_number("seconds", secs);
    return rc::ok;
}
