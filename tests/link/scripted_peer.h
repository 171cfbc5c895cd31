// A board stand-in for link tests: listens on a loopback address of its own
// at the command port, reads request frames and answers each by a script.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct request_frame {
    std::vector<unsigned char> bytes;  // header and payload as received
    uint16_t cmd() const { return static_cast<uint16_t>(bytes[2] | bytes[3] << 8); }
    uint16_t type() const { return static_cast<uint16_t>(bytes[4] | bytes[5] << 8); }
    uint32_t arg() const;
    uint32_t crc() const;
    uint32_t data_len() const;
    std::vector<unsigned char> payload() const { return {bytes.begin() + 32, bytes.end()}; }
};

class scripted_peer;

// What the script sees of the current connection.
struct peer_session {
    scripted_peer& peer;
    intptr_t sock;
    void send(const std::vector<unsigned char>& bytes);
    void send_bytewise(const std::vector<unsigned char>& bytes);
    void hang_up();
    bool hung_up = false;
};

// Builds a reply header (and payload) with the given fields.
std::vector<unsigned char> make_reply(uint16_t cmd, uint32_t arg, const std::vector<unsigned char>& payload,
                                      uint16_t magic = 0x5AA5);
std::vector<unsigned char> make_reply_len(uint16_t cmd, uint32_t arg, uint16_t reply_len, size_t payload_bytes);
// The usual answer: echo cmd and arg; reads get data_len bytes of 0x11.
std::vector<unsigned char> default_reply(const request_frame& req);

class scripted_peer {
public:
    using script = std::function<void(peer_session&, const request_frame&)>;
    explicit scripted_peer(script s = nullptr);
    // Listens at a given address of the calling thread's network namespace.
    scripted_peer(const std::string& address, script s);
    ~scripted_peer();
    scripted_peer(const scripted_peer&) = delete;
    scripted_peer& operator=(const scripted_peer&) = delete;

    const std::string& address() const { return addr; }
    bool listening() const { return listen_sock >= 0; }
    std::vector<request_frame> received();
    int connections() const { return accepted.load(); }
    void set_script(script s);

private:
    void run();
    void serve(intptr_t sock);
    std::string addr;
    intptr_t listen_sock = -1;
    std::atomic<bool> stopping{false};
    std::atomic<int> accepted{0};
    std::mutex m;
    std::vector<request_frame> frames;
    script on_frame;
    std::thread worker;
};

// A loopback address no other test process uses at the same time.
std::string unique_loopback_address();

// Collects trace texts from the debug channel while alive.
class trace_capture {
public:
    trace_capture();
    ~trace_capture();
    std::vector<std::string> lines();
    bool contains(const std::string& text);

private:
    static void sink(void* ctx, const char* text);
    std::mutex m;
    std::vector<std::string> texts;
};
