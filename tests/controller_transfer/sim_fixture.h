// A simulated board in process on a loopback address of the test's own, a
// device object connected to it, and a scratch working directory.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "board_sim.h"
#include "support.h"
#include "transfer_support.h"
#include "vesk_testing.h"

class sim_transfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        address = unique_loopback_address();
        bsim::config cfg;
        cfg.tcp_addr = address;
        cfg.discovery = false;
        cfg.update_rate = 4 * 1024 * 1024;
        cfg.trace_sink = [this](const std::string& line) {
            std::lock_guard<std::mutex> g(sim_lines_lock);
            sim_lines.push_back(line);
        };
        sim = std::make_unique<bsim::board>(cfg);
        std::string why;
        ASSERT_TRUE(sim->start(&why)) << why;
        dev = cnc_dev_register();
        ASSERT_NE(dev, nullptr);
        ASSERT_TRUE(open_link_to(dev, address));
        traces.clear();
        clear_sim_lines();
    }
    void TearDown() override
    {
        if (dev) {
            dev->cnc_close_dev();
            ::operator delete(static_cast<void*>(dev));  // the library never frees it
        }
        sim.reset();
        vesk_test_clear_servers();
    }

    // Replies the board sent for cmd since the last clear (trace lines carry a
    // time stamp in brackets before the direction arrow).
    int replies_to(int cmd)
    {
        std::lock_guard<std::mutex> g(sim_lines_lock);
        const std::string key = " cmd=" + std::to_string(cmd) + " ";
        int n = 0;
        for (auto& l : sim_lines)
            if (l.find("] -> #") != std::string::npos && l.find(key) != std::string::npos) ++n;
        return n;
    }
    void clear_sim_lines()
    {
        std::lock_guard<std::mutex> g(sim_lines_lock);
        sim_lines.clear();
    }

    scratch_dir scratch;
    std::string address;
    std::unique_ptr<bsim::board> sim;
    pelk_cnc* dev = nullptr;
    trace_capture traces;
    std::mutex sim_lines_lock;
    std::vector<std::string> sim_lines;
};

// The content padded with zeros to a multiple of 4, as the board stores it.
inline bytes padded4(bytes b)
{
    b.resize((b.size() + 3) & ~size_t(3), 0);
    return b;
}
