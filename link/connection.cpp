#include "connection.h"

#include <utility>

#include "frame.h"

namespace {

constexpr int stall_ms = 1000;
// How long the line must be quiet before bytes after a garbage header count as new.
constexpr int garbage_quiet_ms = 10;
// While an exchange is in flight the receive thread looks again this often:
// a sender's failure wakes it at once, the end of an exchange does not, so a
// long transfer costs it a handful of wake-ups a second, not one per chunk.
constexpr int busy_recheck_ms = 200;

// Reads exactly len bytes unless the source ends, fails or runs out of time.
assemble_result read_exact(byte_source& src, unsigned char* dst, size_t len, int* err, bool bounded = false)
{
    size_t got = 0;
    bounded = bounded || src.bounded();
    while (got < len) {
        if (bounded && !src.wait(stall_ms)) {
            *err = vplat::error_stalled();
            return assemble_result::failed;
        }
        long n = src.read(dst + got, len - got, err);
        if (n == 0) {
            *err = 0;
            return assemble_result::peer_closed;
        }
        if (n < 0) {
            if (src.expired()) return assemble_result::timed_out;
            if (vplat::error_is_transient(*err)) continue;  // keep reading the same reply
            return assemble_result::failed;
        }
        got += static_cast<size_t>(n);
        if (got < len && src.expired()) return assemble_result::timed_out;
    }
    return assemble_result::complete;
}

void drop_quiet(vplat::socket_t sock, int ms)
{
    unsigned char sink[1024];
    while (vplat::wait_readable(sock, ms) > 0)
        if (vplat::recv_bytes(sock, sink, sizeof sink) <= 0) return;  // a hang-up is seen by the next read
}

// Frames nobody waits for: every read waits at most a second.
struct unasked_source : byte_source {
    explicit unasked_source(vplat::socket_t s) : sock(s) {}
    long read(unsigned char* dst, size_t len, int* err) override
    {
        long n = vplat::recv_bytes(sock, dst, len);
        if (n < 0) *err = vplat::last_error();
        return n;
    }
    bool wait(int ms) override { return vplat::wait_readable(sock, ms) != 0; }
    void drop_until_quiet(int ms) override { drop_quiet(sock, ms); }
    bool bounded() override { return true; }
    vplat::socket_t sock;
};

// A sender's reply: blocking reads that give up at the deadline. The socket's
// receive time-out is the deadline, set only when it changes, so a transfer
// of many frames costs no extra call per frame.
struct reply_source : byte_source {
    using clock = std::chrono::steady_clock;
    reply_source(vplat::socket_t s, int* timeout_set, int deadline_ms)
        : sock(s), timeout_set(timeout_set), until(clock::now() + std::chrono::milliseconds(deadline_ms))
    {
        set_timeout(deadline_ms);
    }
    long read(unsigned char* dst, size_t len, int* err) override
    {
        // A reply in pieces: the next piece may only wait for what is left.
        int left = left_ms();
        if (left + 100 < *timeout_set) set_timeout(left > 0 ? left : 1);
        long n = vplat::recv_bytes(sock, dst, len);
        if (n < 0) *err = vplat::last_error();
        return n;
    }
    bool wait(int ms) override { return vplat::wait_readable(sock, ms) != 0; }
    void drop_until_quiet(int ms) override { drop_quiet(sock, ms); }
    bool expired() override { return left_ms() <= 0; }

    int left_ms() const
    {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - clock::now()).count());
    }
    void set_timeout(int ms)
    {
        if (ms == *timeout_set) return;
        vplat::set_recv_timeout_ms(sock, ms);
        *timeout_set = ms;
    }
    vplat::socket_t sock;
    int* timeout_set;
    clock::time_point until;
};

}  // namespace

assemble_result assemble_reply(byte_source& src, reply_slot& slot, int* err)
{
    slot.oversized = false;
    // The whole header first: a length is never taken from a partial header.
    assemble_result r = read_exact(src, slot.buf, VESK_HEAD_SIZE, err);
    if (r != assemble_result::complete) return r;
    if (vframe::get16(slot.buf) != VESK_MAGIC) {
        src.drop_until_quiet(garbage_quiet_ms);
        return r;
    }
    uint16_t reply_len = vframe::get16(slot.buf + 6);
    if (reply_len == 0xFFFF) return r;  // invalid by definition, nothing follows
    if (reply_len <= VESK_MAX_PAYLOAD) return read_exact(src, slot.buf + VESK_HEAD_SIZE, reply_len, err);

    // Too long for any frame: keep the first bytes, drop the rest, so the
    // stream stays in step and the sender rejects the reply.
    slot.oversized = true;
    r = read_exact(src, slot.buf + VESK_HEAD_SIZE, VESK_MAX_PAYLOAD, err, true);
    unsigned char sink[1024];
    size_t left = reply_len - VESK_MAX_PAYLOAD;
    while (left > 0 && r == assemble_result::complete) {
        size_t n = left < sizeof sink ? left : sizeof sink;
        r = read_exact(src, sink, n, err, true);
        left -= n;
    }
    return r;
}

void vesk_connection::begin_exchange()
{
    bool polling;
    {
        std::lock_guard<std::mutex> g(watch_mutex);
        in_flight = true;
        polling = receiver_polling;
    }
    // Out of its wait on the socket, or it would wake again on the reply.
    if (polling) kick.signal();
}

void vesk_connection::end_exchange()
{
    bool wake;
    {
        std::lock_guard<std::mutex> g(watch_mutex);
        in_flight = false;
        wake = failure_left;
    }
    // Only a failure needs the receive thread now; otherwise it finds the
    // exchange over at its next look.
    if (wake) wake_receiver();
}

void vesk_connection::wake_receiver()
{
    {
        std::lock_guard<std::mutex> g(watch_mutex);  // not between its check and its sleep
    }
    watch_cv.notify_all();
    kick.signal();
}

void vesk_connection::leave_failure(assemble_result r, int err)
{
    if (!open) return;  // our own close ended the read; nothing to report
    left_result = r;
    left_err = err;
    failure_left = true;
}

bool vesk_connection::drop_unasked()
{
    if (failure_left) return false;
    while (vplat::wait_readable(sock, 0) > 0) {
        unasked_source src(sock);
        int err = 0;
        assemble_result r = assemble_reply(src, receiver_slot, &err);
        if (r != assemble_result::complete) {
            leave_failure(r, err);
            return false;
        }
    }
    return true;
}

const reply_slot* vesk_connection::read_reply(int deadline_ms)
{
    reply_source src(sock, &recv_timeout_set, deadline_ms);
    int err = 0;
    assemble_result r = assemble_reply(src, sender_slot, &err);
    if (r == assemble_result::complete) return &sender_slot;
    leave_failure(r, err);
    return nullptr;
}

void vesk_connection::await_close()
{
    if (failure_left) wake_receiver();
    // Released once, when the close (by the receive thread for a failure,
    // or by whoever closed first) has finished: the link reads as closed.
    recv_sem.acquire();
}

int vesk_connection::watch(int ms)
{
    {
        std::unique_lock<std::mutex> g(watch_mutex);
        auto wanted = [this] { return !in_flight || failure_left || !open; };
        if (!wanted()) {
            watch_cv.wait_for(g, std::chrono::milliseconds(busy_recheck_ms), wanted);
            if (!wanted()) return 0;
        }
        if (failure_left) return 1;
        if (!open || in_flight) return 0;
        receiver_polling = true;
    }
    int w = vplat::wait_readable_or_woken(sock, kick, ms);
    {
        std::lock_guard<std::mutex> g(watch_mutex);
        receiver_polling = false;
    }
    if (w == 2) {
        kick.drain();
        return failure_left ? 1 : 0;
    }
    return w;
}

assemble_result vesk_connection::take_unasked(int* err)
{
    if (failure_left) {
        failure_left = false;
        *err = left_err;
        return left_result;
    }
    if (vplat::wait_readable(sock, 0) == 0) return assemble_result::complete;  // a sender took it
    unasked_source src(sock);
    return assemble_reply(src, receiver_slot, err);
}
