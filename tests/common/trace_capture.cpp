#include "trace_capture.h"

#include "vesk_platform.h"

trace_capture::trace_capture() { vplat::set_debug_sink(&trace_capture::sink, this); }
trace_capture::~trace_capture() { vplat::set_debug_sink(nullptr, nullptr); }

void trace_capture::sink(void* ctx, const char* text)
{
    auto* self = static_cast<trace_capture*>(ctx);
    std::lock_guard<std::mutex> g(self->m);
    self->texts.emplace_back(text);
}

std::vector<std::string> trace_capture::lines()
{
    std::lock_guard<std::mutex> g(m);
    return texts;
}

bool trace_capture::contains(const std::string& text)
{
    for (auto& t : lines())
        if (t == text) return true;
    return false;
}

void trace_capture::clear()
{
    std::lock_guard<std::mutex> g(m);
    texts.clear();
}
