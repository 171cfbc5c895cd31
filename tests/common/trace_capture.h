// Collects the libraries' trace texts from the debug channel while alive.
#pragma once

#include <mutex>
#include <string>
#include <vector>

class trace_capture {
public:
    trace_capture();
    ~trace_capture();
    trace_capture(const trace_capture&) = delete;
    trace_capture& operator=(const trace_capture&) = delete;
    std::vector<std::string> lines();
    bool contains(const std::string& text);
    void clear();

private:
    static void sink(void* ctx, const char* text);
    std::mutex m;
    std::vector<std::string> texts;
};
