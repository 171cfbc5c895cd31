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
    // False when nothing arrives within ms.
    virtual bool wait(int ms) = 0;
    // Drops whatever arrives until the source has been quiet for ms.
    virtual void drop_until_quiet(int ms) = 0;
};

// Reads one reply into slot: the whole header, then exactly the announced
// payload. A header without the frame marker is no reply at all: its length
// means nothing, so what follows it in the same burst is dropped and the
// stream starts afresh with the next reply. A reply longer than a frame is read to its end and marked
// oversized, keeping only what fits; when its bytes stop coming for a
// second (garbage announcing a length nobody sends) the read fails, so the
// link is closed rather than left waiting.
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

    // Whoever reads from the socket holds this: the receive thread while
    // the link is idle, a sender while it reads its own reply. A sender
    // that reads its reply itself saves the wake-up of a second thread.
    std::mutex read_mutex;

    // Receive thread side, under read_mutex: the next reply into the
    // assembling slot, or the failure a sender met and left to this thread.
    // On failure *err holds the platform error (0 for a hang-up).
    assemble_result assemble(int* err);
    // Receive thread side, under read_mutex: whether assemble() has anything
    // to do now (bytes waiting, or a failure a sender left).
    bool failure_pending_or_readable() { return failure_left || vplat::wait_readable(sock, 0) != 0; }
    // Receive thread side: hand the assembled reply over and wake the sender.
    void publish();
    // Sender side, after recv_sem or under read_mutex: the reply the
    // receive thread handed over, or null when none is new.
    const reply_slot* take();
    // Sender side, under read_mutex: read the reply into the sender's own
    // slot. Null when the read failed; a failure on an open link is left
    // for the receive thread, which reports it and closes the link.
    const reply_slot* read_own_reply();
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
    // A sender's failed read, for the receive thread (under read_mutex).
    bool failure_left = false;
    assemble_result left_result = assemble_result::complete;
    int left_err = 0;
};

// Counts running receive threads of one link object.
struct vesk_thread_count {
    std::mutex m;
    std::condition_variable cv;
    int live = 0;
};
