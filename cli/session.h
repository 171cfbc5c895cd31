// Choosing a board and holding the connection to it: discovery, opening by
// machine id, index, address or the fixed address, and telling a lost link from a
// refused command after a failure. Each session owns a board object with a
// connection of its own, so that several sessions work at once (--all).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cnc_board.h"

struct options;

struct board_entry {
    int index = 0;           // position in pelkctl's list: boards ordered by address
    int dev_id = 0;          // the link's number for it (order of the answers)
    std::string machine_id;  // printable: up to the first zero byte
    std::string raw_id;      // the 12 bytes as discovery reported them
    std::string address;     // empty when unknown
};

// One line of a command's results, for --json and the --all table.
struct report_field {
    std::string key;
    std::string text;  // shown in tables
    std::string json;  // JSON value
};

class session {
public:
    session() : dev(std::make_unique<cnc::board>()) {}
    explicit session(std::unique_ptr<cnc::board> b) : dev(std::move(b)) {}
    ~session() { close(); }
    session(const session&) = delete;
    session& operator=(const session&) = delete;

    // Runs discovery; an exit code (ok or no_board, with a message). With
    // discover_wait_ms set, asks again until a board answers (and wanted,
    // when given, accepts the list) or that time has passed.
    int discover(std::vector<board_entry>& found, bool quiet = false,
                 const std::function<bool(const std::vector<board_entry>&)>& wanted = {});
    // Connects as the options choose; an exit code.
    int connect(const options& o);
    // Opens a discovered board by its address, or by its place in the last
    // discovery list when its address is unknown.
    int open_entry(const board_entry& b);
    // Opens the board at an address without discovery; false when nothing
    // there takes the connection (no message).
    bool open_direct(const std::string& address);
    int open_static();
    void close();

    // True while the connection answers a probe.
    bool link_alive();
    // The exit code for a failed library call, with a message naming what failed.
    int failed(int pelk_result, const char* what);

    std::unique_ptr<cnc::board> dev;
    uint32_t discover_wait_ms = 0;  // --discover-timeout
    board_entry board;   // the connected board (index -1 for the fixed address and a direct --address)
    std::vector<report_field> report;

    void put(const std::string& key, const std::string& text);
    void put(const std::string& key, const std::string& text, const std::string& json);
    void put_number(const std::string& key, double value, const std::string& text = "");

private:
    // One discovery pass: the boards that answered, ordered by address.
    int discover_pass(std::vector<board_entry>& found);
    int connect_address(const options& o);
    static int on_close(void* ctx, int dev_id);
    bool open = false;
    std::atomic<bool> lost{false};
    std::atomic<bool> closing{false};
};
