// Private: one open TCP connection with its reply buffers, its close
// semaphore and close callback. The record is shared by the link object,
// the receive thread and a sender, so whoever holds it may still touch it
// after the link has been closed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "vesk.h"
#include "vesk_platform.h"

struct reply_slot {
    unsigned char buf[VESK_FRAME_SIZE];
    // The peer announced more payload than a frame holds; it was read and dropped.
    bool oversized;
};

// Outcome of assembling one reply from the socket.
enum class assemble_result { complete, peer_closed, failed, timed_out };

// Where reply bytes come from: the connection's socket, or a test's bytes.
struct byte_source {
    virtual ~byte_source() = default;
    // As recv: a byte count, 0 at the end, -1 on failure with *err set.
    virtual long read(unsigned char* dst, size_t len, int* err) = 0;
    // False when nothing arrives within ms.
    virtual bool wait(int ms) = 0;
    // Drops whatever arrives until the source has been quiet for ms.
    virtual void drop_until_quiet(int ms) = 0;
    // True once the reply's deadline has passed.
    virtual bool expired() { return false; }
    // Every read waits at most a second for its bytes (frames nobody is
    // waiting for, which must never hold the socket for long).
    virtual bool bounded() { return false; }
};

// Reads one reply into slot: the whole header, then exactly the announced
// payload. A header without the frame marker is no reply at all: its length
// means nothing, so what follows it in the same burst is dropped and the
// stream starts afresh with the next reply. A reply longer than a frame is
// read to its end and marked oversized, keeping only what fits; when its
// bytes stop coming for a second (garbage announcing a length nobody sends)
// the read fails, so the link is closed rather than left waiting.
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
    // Released when the link closes: wakes a sender waiting for the close
    // its failed exchange asked the receive thread for.
    vplat::semaphore1 recv_sem;

    // Whoever reads from the socket holds this: a sender for its whole
    // exchange (so only its own request's answer can follow), the receive
    // thread for a frame that arrived while nobody asked.
    std::mutex read_mutex;

    // Sender side. Between these two the receive thread sleeps and leaves
    // the socket to the sender, so an exchange wakes one thread, not two.
    void begin_exchange();
    void end_exchange();
    // Under read_mutex: drops frames that came while nobody asked. False when
    // that found the link gone; the failure is left for the receive thread.
    bool drop_unasked();
    // Under read_mutex: reads the reply within deadline_ms. Null on failure;
    // on an open link the failure is left for the receive thread, which
    // reports it and closes the link.
    const reply_slot* read_reply(int deadline_ms);
    // After an exchange failed for a lost link: wake the receive thread if a
    // failure was left for it, and wait until the link's close has finished.
    void await_close();

    // Receive thread side: waits up to ms (less while an exchange is in
    // flight) for something to look at. 1: the socket or a left failure
    // wants reading, 0: nothing, -1: the wait itself failed.
    int watch(int ms);
    // Under read_mutex: the failure a sender left, or one frame nobody asked
    // for (read and dropped). On failure *err holds the platform error.
    assemble_result take_unasked(int* err);
    bool failure_pending() const { return failure_left; }
    // Closing side: ends the receive thread's sleep or wait at once.
    void wake_receiver();

private:
    void leave_failure(assemble_result r, int err);

    reply_slot sender_slot{};
    reply_slot receiver_slot{};
    int recv_timeout_set = 0;  // SO_RCVTIMEO now on the socket, ms (under read_mutex)

    // A sender's failure, for the receive thread (data under read_mutex).
    std::atomic<bool> failure_left{false};
    assemble_result left_result = assemble_result::complete;
    int left_err = 0;

    std::mutex watch_mutex;
    std::condition_variable watch_cv;
    bool in_flight = false;
    bool receiver_polling = false;
    vplat::waker kick;
};

// The receive threads a link object started; they are joined, never left
// running past the object (or the library that holds it).
struct vesk_thread_list {
    std::mutex m;
    struct entry {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<entry> threads;
};
