// Test support for the controller-access library: a board stand-in that
// answers request frames by script on a loopback address of its own, a
// capture of the library's trace lines, and a fixture with an open link.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pelk.h"
#include "vesk_platform.h"

// One request frame as the board received it.
struct frame {
    uint16_t cmd = 0;
    uint16_t type = 0;
    uint16_t reply_len = 0;
    uint32_t arg = 0;
    uint32_t crc = 0;
    uint32_t data_len = 0;
    std::vector<unsigned char> bytes;  // header and payload
    std::vector<unsigned char> payload() const { return {bytes.begin() + 32, bytes.end()}; }
};

// A loopback address no other test process uses at the same time.
std::string unique_loopback_address();

// Listens at addr:9494, serves one connection at a time and answers each
// request with what the script returns (by default: a read gets data_len
// zero bytes, an exchange gets its own payload back, a write nothing).
class scripted_board {
public:
    using script = std::function<std::vector<unsigned char>(const frame&)>;
    explicit scripted_board(const std::string& addr, script s = nullptr);
    ~scripted_board();
    scripted_board(const scripted_board&) = delete;
    scripted_board& operator=(const scripted_board&) = delete;

    std::vector<frame> frames();
    void clear();
    void set_script(script s);
    // Frames other than the link probe (command 0).
    std::vector<frame> commands();
    // Requests for which this holds get a reply with a wrong argument, which
    // the link rejects.
    void reject_when(std::function<bool(const frame&)> pred);

private:
    void run();
    bool serve(vplat::socket_t sock);

    std::string address;
    vplat::socket_t listen_sock = vplat::invalid_socket;
    std::atomic<bool> stopping{false};
    std::mutex m;
    script answer;
    std::function<bool(const frame&)> reject;
    std::vector<frame> seen;
    std::thread worker;
};

std::vector<unsigned char> default_answer(const frame& f);

// Collects every trace text written while it exists.
class trace_capture {
public:
    trace_capture();
    ~trace_capture();
    std::vector<std::string> lines();
    bool contains(const std::string& line);
    void clear();

private:
    static void sink(void* ctx, const char* text);
    std::mutex m;
    std::vector<std::string> texts;
};

// Little-endian helpers for building expected payloads.
std::vector<unsigned char> le16(uint16_t v);
std::vector<unsigned char> le32(uint32_t v);
std::vector<unsigned char> le_float(float f);
uint32_t get_le32(const unsigned char* p);
float get_le_float(const unsigned char* p);

// A fresh device object whose link is open to a scripted board.
class board_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string address;
    std::unique_ptr<scripted_board> board;
    pelk_cnc* dev = nullptr;
    trace_capture traces;
};

// Opens the library's link to addr by seeding the discovery list.
bool open_link_to(pelk_cnc* dev, const std::string& addr);
