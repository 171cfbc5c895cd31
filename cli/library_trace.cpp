#include "library_trace.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "pelk_trace.h"

namespace {

// Never destroyed: the libraries may still trace while the process ends,
// after this file's objects would otherwise be gone.
struct trace_state {
    std::mutex lock;
    bool forward = false;
    std::vector<std::string> addresses;
};
trace_state& state()
{
    static trace_state* s = new trace_state;
    return *s;
}

// The link announces each accepted discovery answer with this line, just
// before it numbers the board.
constexpr const char ANSWER_LINE[] = "udp get server ip success ";

void sink(void*, const char* text)
{
    auto& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (std::strncmp(text, ANSWER_LINE, sizeof ANSWER_LINE - 1) == 0) {
        std::string addr = text + sizeof ANSWER_LINE - 1;
        while (!addr.empty() && (addr.back() == '\n' || addr.back() == '\r' || addr.back() == '.')) addr.pop_back();
        s.addresses.push_back(addr);
    }
    if (s.forward) std::fputs(text, stderr);
}

}  // namespace

void library_trace_init(bool to_stderr)
{
    {
        std::lock_guard<std::mutex> g(state().lock);
        state().forward = to_stderr;
    }
    pelk_set_trace_sink(sink, nullptr);
}

void library_trace_reset_addresses()
{
    std::lock_guard<std::mutex> g(state().lock);
    state().addresses.clear();
}

std::vector<std::string> library_trace_addresses()
{
    std::lock_guard<std::mutex> g(state().lock);
    return state().addresses;
}
