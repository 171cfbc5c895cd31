// Progress of a long operation on standard error: a bar redrawn in place on a
// terminal, plain lines at every tenth otherwise. Each display belongs to the
// thread that made it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// While several boards work at once no bar is redrawn in place, on a terminal
// either: every board's progress goes out as whole lines that name the board.
void progress_in_lines(bool on);

class progress_display {
public:
    // total 0: unknown, shown as bytes and rate only. unit "" means bytes.
    progress_display(std::string label, uint64_t total, std::string unit = "");
    void update(uint64_t done);
    // Ends the bar's line on a terminal.
    void finish(uint64_t done);
    double seconds() const;

    static bool on_terminal();

private:
    void draw(uint64_t done, bool last);
    std::string amount(uint64_t n) const;
    std::string label, unit;
    uint64_t total;
    std::chrono::steady_clock::time_point start, last_draw;
    int last_tenth = -1;
    bool tty;
    bool drawn = false;
};

// "LABEL: N bytes in S s, RATE[, NOTE]" on standard error.
void transfer_summary(const std::string& label, uint64_t bytes, double seconds, const std::string& note);
