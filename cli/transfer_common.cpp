#include "transfer_common.h"

#include <cstdio>

#include "output.h"
#include "progress.h"

void report_transfer(session& s, const std::string& label, const transfer_outcome& t, verification v)
{
    const char* note = v == verification::done       ? "verified"
                       : v == verification::skipped  ? "not verified"
                       : v == verification::impossible ? "not verified (the board cannot read it back)"
                                                       : "";
    transfer_summary(label, t.bytes, t.seconds, note);
    double rate = t.seconds > 0 ? double(t.bytes) / t.seconds : 0;
    s.put_number("bytes", double(t.bytes));
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.2f", t.seconds);
    s.put_number("seconds", t.seconds, secs);
    s.put_number("bytes_per_second", rate, format_rate(rate));
    if (v != verification::not_applicable)
        s.put("verified", v == verification::done ? "yes" : "no", v == verification::done ? "true" : "false");
}
