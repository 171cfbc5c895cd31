// The simulated board in process with a device object connected to it, as
// the transfer tests have it, plus a close callback counter and helpers to
// reopen the link after a fault and to wait for the board's side.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim_fixture.h"

class fault_fixture : public sim_transfer {
protected:
    void SetUp() override
    {
        sim_transfer::SetUp();
        // Reopen with a callback so that every close can be counted.
        dev->cnc_close_dev();
        ASSERT_TRUE(reopen());
        closes = 0;
        traces.clear();
        clear_sim_lines();
    }

    static int on_close(void* ctx, int) { ++static_cast<fault_fixture*>(ctx)->closes; return 0; }
    bool reopen() { return dev->cnc_open_dev_index(0, &fault_fixture::on_close, this) == 0; }

    // Reopens the link when the fault has closed it.
    bool ensure_open() { return dev->cnc_dev_state() || reopen(); }

    static bool wait_until(const std::function<bool()>& pred, int ms = 30000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // Whether the board traced a line containing text since the last clear.
    bool board_traced(const std::string& text)
    {
        std::lock_guard<std::mutex> g(sim_lines_lock);
        for (auto& l : sim_lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    std::atomic<int> closes{0};
};

inline bytes prefix(const bytes& b, size_t n) { return bytes(b.begin(), b.begin() + long(std::min(n, b.size()))); }
