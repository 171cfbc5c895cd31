#include "trace.h"

#include <cstdarg>
#include <cstdio>

#include "pelk_trace.h"
#include "vesk_platform.h"

void pelk_trace(const char* fmt, ...)
{
    char buf[PELK_TRACE_BUFFER];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return;  // a broken format writes nothing rather than garbage
    if (n >= PELK_TRACE_BUFFER) {
        // vsnprintf kept the first 1023 characters; the cut text still ends
        // in a line feed so that the next trace starts on its own line.
        buf[PELK_TRACE_BUFFER - 2] = '\n';
        buf[PELK_TRACE_BUFFER - 1] = '\0';
    }
    vplat::debug_output(buf);
}

// The link's debug channel carries both libraries' traces, so its sink is the one to set.
void pelk_set_trace_sink(pelk_trace_sink sink, void* ctx) { vplat::set_debug_sink(sink, ctx); }
