#include "library_trace.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "vesk_platform.h"

namespace {

std::mutex lock;
bool forward = false;
std::vector<std::string> addresses;

// The link announces each accepted discovery answer with this line, just
// before it numbers the board.
constexpr const char ANSWER_LINE[] = "udp get server ip success ";

void sink(void*, const char* text)
{
    std::lock_guard<std::mutex> g(lock);
    if (std::strncmp(text, ANSWER_LINE, sizeof ANSWER_LINE - 1) == 0) {
        std::string addr = text + sizeof ANSWER_LINE - 1;
        while (!addr.empty() && (addr.back() == '\n' || addr.back() == '\r' || addr.back() == '.')) addr.pop_back();
        addresses.push_back(addr);
    }
    if (forward) std::fputs(text, stderr);
}

}  // namespace

void library_trace_init(bool to_stderr)
{
    {
        std::lock_guard<std::mutex> g(lock);
        forward = to_stderr;
    }
    vplat::set_debug_sink(sink, nullptr);
}

void library_trace_reset_addresses()
{
    std::lock_guard<std::mutex> g(lock);
    addresses.clear();
}

std::vector<std::string> library_trace_addresses()
{
    std::lock_guard<std::mutex> g(lock);
    return addresses;
}
