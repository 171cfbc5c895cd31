// The job's time: the estimate before the start, elapsed and remaining time
// while the board runs it (the plan's remainder scaled by the pace the
// machine has really kept, from the lines it reports), and the actual time
// at the end. Times are passed in, in seconds, so the phases can be tested.
#pragma once

#include <QString>
#include <cstdint>

#include "toolpath_loader.h"

class job_clock {
public:
    enum class phase { idle, armed, running, ended };

    // The plan the times come from; null: nothing to say.
    void set_plan(toolpath_ptr plan);
    const toolpath_data* plan() const { return plan_.get(); }
    // A job was sent, to start at start_line (0 or 1: from the top).
    void arm(uint64_t start_line);
    // One poll: whether the board's program is running and the line under way.
    // True when this poll saw the job end.
    bool poll(bool running, uint64_t run_line, double now);

    // The connection the job ran on is gone: its end will never be seen.
    void abandon() { phase_ = phase::idle; }

    phase state() const { return phase_; }
    double estimate() const;       // the whole job, from its start line
    double elapsed(double now) const;
    double remaining(double now) const;
    double actual() const { return end_ - start_; }
    // The line shown in the status bar and the preview.
    QString text(double now) const;

private:
    toolpath_ptr plan_;
    phase phase_ = phase::idle;
    uint64_t from_ = 0, line_ = 0;
    double skipped_ = 0;  // planned time of the lines before the start line
    double start_ = 0, end_ = 0;
};

// H:MM:SS
QString format_duration(double seconds);
