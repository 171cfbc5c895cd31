#include "job_clock.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

QString format_duration(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    qint64 t = qint64(std::llround(seconds));
    return QString::asprintf("%lld:%02lld:%02lld", t / 3600, t / 60 % 60, t % 60);
}

void job_clock::set_plan(toolpath_ptr plan)
{
    plan_ = std::move(plan);
    if (phase_ == phase::ended) phase_ = phase::idle;
}

void job_clock::arm(uint64_t start_line)
{
    phase_ = phase::armed;
    from_ = start_line;
    line_ = 0;
    skipped_ = plan_ && start_line > 1 ? plan_->times.at_line(start_line - 1) : 0;
}

bool job_clock::poll(bool running, uint64_t run_line, double now)
{
    line_ = run_line;
    if (phase_ == phase::armed && running) {
        phase_ = phase::running;
        start_ = end_ = now;
    } else if (phase_ == phase::running) {
        end_ = now;
        if (!running) {
            phase_ = phase::ended;
            return true;
        }
    }
    return false;
}

double job_clock::estimate() const { return plan_ ? plan_->times.total_seconds() - skipped_ : 0; }

double job_clock::elapsed(double now) const
{
    if (phase_ == phase::running) return now - start_;
    return phase_ == phase::ended ? actual() : 0;
}

double job_clock::remaining(double now) const
{
    if (!plan_ || phase_ != phase::running) return phase_ == phase::ended ? 0 : estimate();
    // The board reports the line under way: the lines before it are done.
    uint64_t done = line_ > 0 ? line_ - 1 : 0;
    if (done < from_) return estimate();
    return plan_->times.remaining(done, elapsed(now) + skipped_);
}

QString job_clock::text(double now) const
{
    if (!plan_) return {};
    switch (phase_) {
    case phase::running:
        return QCoreApplication::translate("job_clock", "已用 %1  剩余 %2")
            .arg(format_duration(elapsed(now)), format_duration(remaining(now)));
    case phase::ended:
        return QCoreApplication::translate("job_clock", "用时 %1  预计 %2")
            .arg(format_duration(actual()), format_duration(estimate()));
    default:
        return QCoreApplication::translate("job_clock", "预计 %1").arg(format_duration(estimate()));
    }
}
