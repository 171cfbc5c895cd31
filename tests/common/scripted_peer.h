// A board stand-in for the library tests and the benchmarks: listens at an
// address of its own (on loopback, or in a private namespace) at the command
// port, reads request frames and answers each at once by a script. By
// default a read gets the bytes it asked for, an exchange its own payload
// back and a write an empty reply: the least any board does per frame.
// Faults the simulated board offers belong there; this peer is for exact
// replies a test composes byte by byte.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One request frame as the peer received it.
struct request_frame {
    uint16_t cmd = 0;
    uint16_t type = 0;
    uint16_t reply_len = 0;
    uint32_t arg = 0;
    uint32_t crc = 0;
    uint32_t data_len = 0;
    std::vector<unsigned char> bytes;  // header and payload as received
    std::vector<unsigned char> payload() const { return {bytes.begin() + 32, bytes.end()}; }
};

class scripted_peer;

// What a session script sees of the current connection.
struct peer_session {
    scripted_peer& peer;
    intptr_t sock;
    void send(const std::vector<unsigned char>& bytes);
    void send_bytewise(const std::vector<unsigned char>& bytes);
    void hang_up();
    bool hung_up = false;
};

// A reply header (and payload) with the given fields.
std::vector<unsigned char> make_reply(uint16_t cmd, uint32_t arg, const std::vector<unsigned char>& payload,
                                      uint16_t magic = 0x5AA5);
std::vector<unsigned char> make_reply_len(uint16_t cmd, uint32_t arg, uint16_t reply_len, size_t payload_bytes);
// The default answer's payload: a read gets data_len bytes of fill, an
// exchange its payload back, a write nothing.
std::vector<unsigned char> default_answer(const request_frame& req, unsigned char fill = 0);
// A whole reply frame echoing cmd and arg; reads get data_len bytes of 0x11,
// so that a test sees the bytes arrive.
std::vector<unsigned char> default_reply(const request_frame& req);

class scripted_peer {
public:
    // Full control: the script sends what it likes on the session, or nothing.
    using script = std::function<void(peer_session&, const request_frame&)>;
    // The reply payload; the header echoes cmd, type and arg.
    using answer = std::function<std::vector<unsigned char>(const request_frame&)>;

    explicit scripted_peer(script s = nullptr);  // on a loopback address of its own
    // Listens at address:port of the calling thread's network namespace.
    scripted_peer(const std::string& address, script s, uint16_t port = 9494);
    ~scripted_peer();
    scripted_peer(const scripted_peer&) = delete;
    scripted_peer& operator=(const scripted_peer&) = delete;

    const std::string& address() const { return addr; }
    bool listening() const { return listen_sock >= 0; }
    int connections() const { return accepted.load(); }

    void set_script(script s);
    void set_answer(answer a);
    // Requests for which this holds get a reply with a wrong argument, which
    // the link rejects.
    void reject_when(std::function<bool(const request_frame&)> pred);
    // Byte that fills the default answer to a read (0 unless set).
    void set_read_fill(unsigned char fill) { read_fill = fill; }
    // Off: frames are answered but not kept (benchmarks).
    void record(bool on) { recording = on; }

    std::vector<request_frame> received();
    // Frames other than the link probe (command 0).
    std::vector<request_frame> commands();
    void clear();

private:
    void run();
    void serve(intptr_t sock);
    void answer_frame(peer_session& session, const request_frame& f);

    std::string addr;
    intptr_t listen_sock = -1;
    std::atomic<intptr_t> current{-1};
    std::atomic<bool> stopping{false};
    std::atomic<bool> recording{true};
    std::atomic<unsigned char> read_fill{0};
    std::atomic<int> accepted{0};
    std::mutex m;
    std::vector<request_frame> frames;
    script on_frame;
    answer on_answer;
    std::function<bool(const request_frame&)> reject;
    std::thread worker;
};

// A loopback address no other test process uses at the same time.
std::string unique_loopback_address();
