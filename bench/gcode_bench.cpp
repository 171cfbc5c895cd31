// The G-code library measured against what it is compared with, side by side
// in one run:
//   check rate   a program check of a million-line program against a plain
//                line count of the same file;
//   memory       peak resident size of "pelkctl check" on a program of ten
//                thousand lines and on one of a million;
//   estimate     each sample program's estimated duration against the time
//                the simulated board takes to run it;
//   time left    the time left predicted a quarter into a job on a machine
//                running at 70 % of the planned speed, against the time it
//                really took.
// Arguments: best-of rounds for the check rate (default 3), the directory of
// sample programs (default the one beside the repository).
// "gcode_bench --check-only FILE" checks FILE and exits: what the memory
// part measures when pelkctl is not built.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gcode/check.h"
#include "pocket_program.h"
#include "sim_job.h"
#include "vesk_platform.h"

namespace fs = std::filesystem;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr uint64_t BIG_LINES = 1'000'000, SMALL_LINES = 10'000;
constexpr double JOB_WALL_SECONDS = 4;       // each timed job takes about this long
constexpr double SLOW_JOB_WALL_SECONDS = 6;  // planned wall time of the slowed job
constexpr double SLOWDOWN = 0.7;

double since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }

std::string load_average()
{
    double l[3] = {};
    if (::getloadavg(l, 3) != 3) return "unknown";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f %.2f %.2f", l[0], l[1], l[2]);
    return buf;
}

gcode::check_report check_file(const std::string& path, const gcode::check_options& o = {})
{
    std::ifstream in(path, std::ios::binary);
    return gcode::check_program(in, gcode::machine_settings::defaults(), o);
}

// Best wall time of rounds runs of f.
template <typename F>
double best_of(int rounds, F f)
{
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = clock_type::now();
        f();
        best = std::min(best, since(t0));
    }
    return best;
}

void check_rate(const std::string& big, int rounds)
{
    uint64_t counted = 0;
    double read = best_of(rounds, [&] {
        std::ifstream in(big, std::ios::binary);
        std::string line;
        counted = 0;
        while (std::getline(in, line)) ++counted;
    });
    gcode::check_report r;
    double check = best_of(rounds, [&] { r = check_file(big); });
    std::printf("\n### Check rate\n\n");
    std::printf("A generated %llu-line pocketing program (%.1f MB; %llu planned segments, estimated %.0f s, %s), "
                "best of %d, one core.\n\n",
                (unsigned long long)r.lines, double(r.bytes) / 1e6, (unsigned long long)r.segments, r.seconds,
                r.runnable() ? "runnable" : "NOT runnable", rounds);
    std::printf("| pass                                   | seconds | lines/s   |\n");
    std::printf("|----------------------------------------|--------:|----------:|\n");
    std::printf("| line count (std::getline)              | %7.3f | %6.2f M  |\n", read, double(counted) / read / 1e6);
    std::printf("| gcode::check_program (read, run, plan) | %7.3f | %6.2f M  |\n", check, double(r.lines) / check / 1e6);
    std::printf("\ncheck / line count: %.1f\n", check / read);
}

std::string own_directory()
{
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path().string();
}

struct child_run {
    long max_rss_kib = 0;
    double seconds = 0;
    int status = -1;  // exit code, -1 when it did not exit normally
};

child_run run_child(std::vector<std::string> argv)
{
    child_run c;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    auto t0 = clock_type::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ) == 0) {
        int st = 0;
        rusage ru{};
        if (::wait4(pid, &st, 0, &ru) == pid) {
            c.seconds = since(t0);
            c.max_rss_kib = ru.ru_maxrss;
            if (WIFEXITED(st)) c.status = WEXITSTATUS(st);
        }
    }
    posix_spawn_file_actions_destroy(&fa);
    return c;
}

void memory(const std::string& small, const std::string& big)
{
    const std::string dir = own_directory(), pelkctl = dir + "/pelkctl";
    const bool have_pelkctl = ::access(pelkctl.c_str(), X_OK) == 0;
    auto command = [&](const std::string& file) {
        return have_pelkctl ? std::vector<std::string>{pelkctl, "check", file}
                            : std::vector<std::string>{dir + "/gcode_bench", "--check-only", file};
    };
    std::printf("\n### Memory\n\n");
    std::printf("Peak resident size of %s on generated programs, each in a process of its own.\n\n",
                have_pelkctl ? "`pelkctl check FILE`"
                             : "`gcode_bench --check-only FILE` (pelkctl is not built: the check alone)");
    std::printf("| program          | peak RSS (MiB) | seconds | exit |\n");
    std::printf("|------------------|---------------:|--------:|-----:|\n");
    child_run runs[2];
    const std::string files[2] = {small, big};
    const uint64_t lines[2] = {SMALL_LINES, BIG_LINES};
    for (int i = 0; i < 2; ++i) {
        runs[i] = run_child(command(files[i]));
        std::printf("| %9llu lines  | %14.1f | %7.3f | %4d |\n", (unsigned long long)lines[i],
                    double(runs[i].max_rss_kib) / 1024, runs[i].seconds, runs[i].status);
    }
    if (runs[0].max_rss_kib > 0)
        std::printf("\n1,000,000 / 10,000 lines: %.2f\n", double(runs[1].max_rss_kib) / double(runs[0].max_rss_kib));
}

std::string first_finding(const gcode::check_report& r)
{
    const auto& list = r.unsupported.empty() ? r.beyond_travel : r.unsupported;
    if (list.empty()) return r.not_text ? "not text" : "?";
    const auto& f = list.front();
    return "line " + std::to_string(f.line) + ": " + f.word + ": " + f.text;
}

void estimates(const std::string& samples)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(samples, ec))
        if (e.is_regular_file() && e.path().extension() != ".md") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::printf("\n### Estimate against the simulated board\n\n");
    std::printf("Programs from %s. Each runnable one runs on a fresh board whose time scale makes the job\n"
                "take about %.0f s; measured = wall time from the start block to the job's end (M0 stops\n"
                "continued at once, their time left out) times the time scale.\n\n",
                samples.c_str(), JOB_WALL_SECONDS);
    std::printf("| program                                | lines  | estimate s | time scale | wall s | measured s | error %%  |\n");
    std::printf("|----------------------------------------|-------:|-----------:|-----------:|-------:|-----------:|---------:|\n");
    std::vector<std::string> refused;
    for (const auto& f : files) {
        const std::string name = f.filename().string();
        gcode::check_report r = check_file(f.string());
        if (!r.runnable()) {
            refused.push_back(name + " (" + std::to_string(r.unsupported_count + r.beyond_travel_count) +
                              " lines; first " + first_finding(r) + ")");
            continue;
        }
        job_options o;
        o.time_scale = std::max(1.0, r.seconds / JOB_WALL_SECONDS);
        o.timeout = 4 * JOB_WALL_SECONDS + 10;
        job_timing t = run_job(f.string(), r.lines, o);
        if (!t.why.empty()) {
            std::printf("| %-38s | %6llu | %10.1f | %10.1f | failed: %s |\n", name.c_str(),
                        (unsigned long long)r.lines, r.seconds, o.time_scale, t.why.c_str());
            continue;
        }
        double measured = t.running * o.time_scale;
        std::printf("| %-38s | %6llu | %10.1f | %10.1f | %6.2f | %10.1f | %+8.2f |%s\n", name.c_str(),
                    (unsigned long long)r.lines, r.seconds, o.time_scale, t.running, measured,
                    100 * (measured - r.seconds) / r.seconds,
                    t.stops ? (" " + std::to_string(t.stops) + " M0 stop(s) continued").c_str() : "");
    }
    for (const auto& n : refused) std::printf("\nrefused by the check: %s", n.c_str());
    if (!refused.empty()) std::printf("\n");
}

void time_left(const std::string& path)
{
    gcode::line_times lt;
    gcode::check_options co;
    co.on_segment = [&](const gcode::segment& s) { lt.add(s); };
    gcode::check_report r = check_file(path, co);
    lt.close(r.lines);
    const double total = lt.total_seconds();

    job_options o;
    o.time_scale = std::max(1.0, total / SLOW_JOB_WALL_SECONDS);
    o.slowdown = SLOWDOWN;
    o.timeout = 3 * SLOW_JOB_WALL_SECONDS / SLOWDOWN + 10;
    // Taken at the first poll whose executing line ends past a quarter of the
    // plan. The board reports the line under way; the same is also asked for
    // the line before it, the last one the machine has finished.
    bool seen = false;
    uint32_t line = 0;
    double at = 0;
    o.watch = [&](const bsim::machine_view& v, double running) {
        if (seen || lt.at_line(v.run_line) < total / 4) return;
        seen = true;
        line = v.run_line;
        at = running * o.time_scale;
    };
    job_timing t = run_job(path, r.lines, o);

    std::printf("\n### Time left on a slower machine\n\n");
    std::printf("%s (%llu lines, estimated %.1f s) on a board reaching %.0f %% of the planned speed, time scale "
                "%.1f.\nA quarter into the plan, the time left from the per-line times scaled by the pace so far,\n"
                "against the time the job then really took to its end (machine seconds).\n\n",
                fs::path(path).filename().c_str(), (unsigned long long)r.lines, total, 100 * SLOWDOWN,
                o.time_scale);
    if (!t.why.empty() || !seen) {
        std::printf("failed: %s\n", t.why.empty() ? "the job never passed a quarter of the plan" : t.why.c_str());
        return;
    }
    const double truth = t.running * o.time_scale - at;
    std::printf("Line %u was under way after %.1f s; the job took %.1f s in all, %.1f s of them after that.\n\n",
                line, at, t.running * o.time_scale, truth);
    std::printf("| remaining(line, elapsed) asked for    | plan left s | predicted left s | error %% |\n");
    std::printf("|---------------------------------------|------------:|-----------------:|--------:|\n");
    const struct { const char* what; uint32_t line; } asks[] = {{"run_line (the line under way)", line},
                                                                {"run_line - 1 (the last line finished)", line - 1}};
    for (const auto& a : asks) {
        double predicted = lt.remaining(a.line, at);
        std::printf("| %-37s | %11.1f | %16.1f | %+7.2f |\n", a.what, total - lt.at_line(a.line), predicted,
                    100 * (predicted - truth) / truth);
    }
}

void quiet(void*, const char*) {}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--check-only") return check_file(argv[2]).runnable() ? 0 : 1;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string samples = argc > 2 ? argv[2] : GCODE_SAMPLES;
    vplat::set_debug_sink(&quiet, nullptr);  // the link's trace is not what is measured

    const auto t0 = clock_type::now();
    std::printf("Load average at start: %s\n", load_average().c_str());
    char tmpl[] = "/tmp/gcode_bench_XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl, big = dir + "/pockets_1m.nc", small = dir + "/pockets_10k.nc";
    if (!write_pocket_program(big, BIG_LINES) || !write_pocket_program(small, SMALL_LINES)) {
        std::fprintf(stderr, "cannot write the programs in %s\n", dir.c_str());
        return 1;
    }

    check_rate(big, rounds);
    memory(small, big);
    estimates(samples);
    const std::string slow = samples + "/ordbot_handle.nc";
    time_left(fs::exists(slow) ? slow : small);

    std::printf("\nLoad average at end: %s; whole run %.0f s.\n", load_average().c_str(), since(t0));
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
