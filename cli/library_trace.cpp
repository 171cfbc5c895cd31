#include "library_trace.h"

#include <atomic>
#include <string>

#include "output.h"
#include "pelk_trace.h"

namespace {

std::atomic<bool> forward{false};

void sink(void*, const char* text)
{
    // Through pelkctl's own lines, so that a trace never splits one of them.
    if (forward) write_stderr(text);
}

}  // namespace

void library_trace_init(bool to_stderr)
{
    forward = to_stderr;
    pelk_set_trace_sink(sink, nullptr);
}
