#include "progress.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "output.h"

using clock_type = std::chrono::steady_clock;

namespace {
std::atomic<bool> lines_only{false};
}

void progress_in_lines(bool on) { lines_only = on; }

progress_display::progress_display(std::string label, uint64_t total, std::string unit)
    : label(std::move(label)), unit(std::move(unit)), total(total), start(clock_type::now()), last_draw(start),
      tty(on_terminal() && !lines_only)
{
}

bool progress_display::on_terminal() { return ::isatty(STDERR_FILENO) == 1; }

double progress_display::seconds() const
{
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

std::string progress_display::amount(uint64_t n) const
{
    return unit.empty() ? format_bytes(n) : std::to_string(n) + " " + unit;
}

void progress_display::update(uint64_t done)
{
    auto now = clock_type::now();
    if (tty) {
        if (now - last_draw < std::chrono::milliseconds(100) && drawn) return;
        last_draw = now;
        draw(done, false);
        return;
    }
    // Plain lines: at each new tenth of a known total, else every five seconds.
    if (total) {
        int tenth = int(std::min<uint64_t>(done, total) * 10 / total);
        if (tenth == last_tenth || tenth == 10) return;
        last_tenth = tenth;
    } else if (now - last_draw < std::chrono::seconds(5)) {
        return;
    }
    last_draw = now;
    draw(done, false);
}

void progress_display::finish(uint64_t done)
{
    if (tty) {
        draw(done, true);
        write_stderr("\n");
    }
}

void progress_display::draw(uint64_t done, bool last)
{
    double s = seconds();
    double rate = s > 0 ? double(done) / s : 0;
    std::string rate_text = unit.empty() ? format_rate(rate) : "";
    std::string left;
    if (total && rate > 0 && done < total && !last) {
        long secs = long(double(total - done) / rate + 0.5);
        left = std::to_string(secs) + " s left";
    }
    if (!total && done == 0) {
        // Nothing to count: show that time passes.
        char secs[32];
        std::snprintf(secs, sizeof secs, "%.0f s", s);
        if (tty) {
            write_stderr("\r\033[K" + message_prefix() + label + " " + secs);
            drawn = true;
        } else {
            write_stderr("pelkctl: " + message_prefix() + label + ": " + secs + "\n");
        }
        return;
    }
    uint64_t shown = total ? std::min(done, total) : done;
    int percent = total ? int(shown * 100 / total) : -1;
    if (tty) {
        std::string bar;
        if (total) {
            int width = 30, fill = int(shown * uint64_t(width) / total);
            bar = "[" + std::string(size_t(fill), '#') + std::string(size_t(width - fill), '-') + "] ";
        }
        write_stderr("\r\033[K" + message_prefix() + label + " " + bar +
                     (percent >= 0 ? std::to_string(percent) + "% " : "") + amount(shown) +
                     (total ? " / " + amount(total) : "") + " " + rate_text + " " + left);
        drawn = true;
    } else {
        std::string what = amount(shown) + (total ? " of " + amount(total) : "");
        write_stderr("pelkctl: " + message_prefix() + label + ": " +
                     (percent >= 0 ? std::to_string(percent) + "%, " : "") + what +
                     (rate_text.empty() ? "" : ", ") + rate_text + (left.empty() ? "" : ", ") + left + "\n");
    }
}

void transfer_summary(const std::string& label, uint64_t bytes, double seconds, const std::string& note)
{
    double rate = seconds > 0 ? double(bytes) / seconds : 0;
    say("%s: %llu bytes in %.2f s, %s%s%s", label.c_str(), static_cast<unsigned long long>(bytes), seconds,
        format_rate(rate).c_str(), note.empty() ? "" : ", ", note.c_str());
}
