// Test support for the simulated board: a board started in-process on a
// loopback address of the test's own with a link opened to it, and private
// network namespaces for discovery tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board_sim.h"
#include "private_net.h"
#include "vesk.h"

// A loopback address no other test process uses at the same time.
std::string sim_loopback_address();

// A fresh directory under the system's temporary directory, removed by the destructor.
struct temp_dir {
    temp_dir();
    ~temp_dir();
    std::string path;
};

// Reads a whole file; empty when missing.
std::vector<uint8_t> file_bytes(const std::string& path);

// Counts close callbacks of a link.
struct close_count {
    std::atomic<int> calls{0};
    static int callback(void* ctx, int) { ++static_cast<close_count*>(ctx)->calls; return 0; }
};

// A board on its own loopback address with discovery off, and a link to it.
class sim_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts (or restarts) the board with cfg adjusted by the test.
    void start_board();
    bool open_link();
    int send(uint8_t cmd, uint8_t type, uint32_t arg, std::vector<uint8_t>& data, unsigned short* got = nullptr);
    int send(uint8_t cmd, uint8_t type, uint32_t arg) { std::vector<uint8_t> none; return send(cmd, type, arg, none); }
    std::vector<uint8_t> read(uint8_t cmd, uint32_t arg, unsigned short len);
    std::vector<uint8_t> status();
    // A command line (48/3), and the result text (48/4) read to its end.
    int line(const std::string& text);
    std::string results();
    // Starts an NC job the way hosts do: the start block, then the program
    // with its line-count header in 8 KiB chunks.
    void start_job(const std::string& name, const std::string& program);
    // Polls until pred holds or ms pass. The bound only ends a wait that
    // will never succeed: a loaded machine under a sanitizer is slow.
    bool wait_for(const std::function<bool()>& pred, int ms = 30000);

    std::string address;
    temp_dir state;
    bsim::config cfg;
    std::unique_ptr<bsim::board> sim;
    vesk link;
    close_count closes;
};

