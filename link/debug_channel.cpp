// Debug-output channel shared by the libraries: trace texts go to the
// platform's default destination unless a sink has been installed.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "debug_channel.h"
#include "vesk_platform.h"

namespace vplat {

namespace {
std::mutex sink_mutex;
debug_sink current_sink = nullptr;
void* current_ctx = nullptr;
}  // namespace

void set_debug_sink(debug_sink sink, void* ctx)
{
    std::lock_guard<std::mutex> g(sink_mutex);
    current_sink = sink;
    current_ctx = ctx;
}

void debug_output(const char* text)
{
    std::lock_guard<std::mutex> g(sink_mutex);
    if (current_sink)
        current_sink(current_ctx, text);
    else
        debug_default_write(text);
}

void debug_printf(const char* fmt, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if (n >= static_cast<int>(sizeof buf)) {
        // Cut texts still end in a line feed so trace lines stay separate.
        buf[sizeof buf - 2] = '\n';
    }
    debug_output(buf);
}

}  // namespace vplat
