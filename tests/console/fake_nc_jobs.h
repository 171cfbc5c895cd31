// NC jobs run without a board, through a worker's job runner: each job
// records its start line and, while the gate is closed, waits for it to open.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "task_request_thread.h"

class fake_nc_jobs {
public:
    void close_gate()
    {
        std::lock_guard<std::mutex> l(m);
        open = false;
    }
    void open_gate()
    {
        std::lock_guard<std::mutex> l(m);
        open = true;
        cv.notify_all();
    }
    // Waits until n jobs have started.
    bool wait_started(size_t n, unsigned long ms = 30000)
    {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return lines.size() >= n; });
    }
    std::vector<uint32_t> started()
    {
        std::lock_guard<std::mutex> l(m);
        return lines;
    }

    // For task_request_thread::set_nc_job_runner. A job returns its start
    // line as its result, so tests can tell jobs apart.
    nc_job_runner runner()
    {
        return [this](cnc::board&, uint32_t start_line, char*, uint8_t) {
            std::unique_lock<std::mutex> l(m);
            lines.push_back(start_line);
            cv.notify_all();
            cv.wait(l, [&] { return open; });
            return int(start_line);
        };
    }

private:
    std::mutex m;
    std::condition_variable cv;
    bool open = true;
    std::vector<uint32_t> lines;
};
