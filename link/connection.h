// Private: one open TCP connection with its reply buffers, reply semaphore
// and close callback. The record is shared by the link object, the receive
// thread and a waiting sender, so whoever holds it may still touch it after
// the link has been closed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "vesk.h"
#include "vesk_platform.h"

struct reply_slot {
    unsigned char buf[VESK_FRAME_SIZE];
    // The peer announced more payload than a frame holds; it was read and dropped.
    bool oversized;
};

// Outcome of assembling one reply from the socket.
enum class assemble_result { complete, peer_closed, failed };

// Where reply bytes come from: the connection's socket, or a test's bytes.
struct byte_source {
    virtual ~byte_source() = default;
    // As recv: a byte count, 0 at the end, -1 on failure with *err set.
    virtual long read(unsigned char* dst, size_t len, int* err) = 0;
};

// Reads one reply into slot: the whole header, then exactly the announced
// payload. A reply longer than a frame is read to its end and marked
// oversized, keeping only what fits.
assemble_result assemble_reply(byte_source& src, reply_slot& slot, int* err);

struct vesk_connection {
    vesk_connection(vplat::socket_t s, int dev, vesk_close_callback cb, void* c)
        : sock(s), dev_id(dev), callback(cb), ctx(c)
    {
    }
    ~vesk_connection() { vplat::close_socket(sock); }
    vesk_connection(const vesk_connection&) = delete;
    vesk_connection& operator=(const vesk_connection&) = delete;

    const vplat::socket_t sock;
    const int dev_id;
    const vesk_close_callback callback;
    void* const ctx;

    std::atomic<bool> open{true};
    std::atomic<bool> link_lost{false};
    vplat::semaphore1 recv_sem;

    // Receive thread side: read one reply into the assembling slot.
    // On failure *err holds the platform error (0 for a hang-up).
    assemble_result assemble(int* err);
    // Receive thread side: hand the assembled reply over and wake the sender.
    void publish();
    // Sender side, after recv_sem: the newest reply, or null when none is new.
    const reply_slot* take();
    // Sender side, before sending: forget a reply nobody asked for.
    void discard_pending();

private:
    // Three slots so the receive thread can assemble while the sender reads
    // without either touching the other's bytes.
    reply_slot slots[3]{};
    std::mutex handoff;
    reply_slot* assembling = &slots[0];
    reply_slot* ready = &slots[1];
    reply_slot* reading = &slots[2];
    bool ready_fresh = false;
};

// Counts running receive threads of one link object.
struct vesk_thread_count {
    std::mutex m;
    std::condition_variable cv;
    int live = 0;
};
