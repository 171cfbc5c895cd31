#include "connection.h"

#include <utility>

#include "frame.h"

namespace {

constexpr int stall_ms = 1000;
// How long the line must be quiet before bytes after a garbage header count as new.
constexpr int garbage_quiet_ms = 10;

// Reads exactly len bytes unless the source ends or fails; a bounded read
// also fails when the source falls silent.
assemble_result read_exact(byte_source& src, unsigned char* dst, size_t len, int* err, bool bounded = false)
{
    size_t got = 0;
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
            if (vplat::error_is_transient(*err)) continue;  // keep reading the same reply
            return assemble_result::failed;
        }
        got += static_cast<size_t>(n);
    }
    return assemble_result::complete;
}

struct socket_source : byte_source {
    explicit socket_source(vplat::socket_t s) : sock(s) {}
    long read(unsigned char* dst, size_t len, int* err) override
    {
        long n = vplat::recv_bytes(sock, dst, len);
        if (n < 0) *err = vplat::last_error();
        return n;
    }
    bool wait(int ms) override { return vplat::wait_readable(sock, ms) != 0; }
    void drop_until_quiet(int ms) override
    {
        unsigned char sink[1024];
        while (vplat::wait_readable(sock, ms) > 0)
            if (vplat::recv_bytes(sock, sink, sizeof sink) <= 0) return;  // a hang-up is seen by the next read
    }
    vplat::socket_t sock;
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

assemble_result vesk_connection::assemble(int* err)
{
    if (failure_left) {
        failure_left = false;
        *err = left_err;
        return left_result;
    }
    socket_source src(sock);
    return assemble_reply(src, *assembling, err);  // only this thread swaps it away
}

const reply_slot* vesk_connection::read_own_reply()
{
    if (failure_left) return nullptr;
    reply_slot* own;
    {
        std::lock_guard<std::mutex> g(handoff);
        own = reading;  // only the sender swaps it, in take()
    }
    socket_source src(sock);
    int err = 0;
    assemble_result r = assemble_reply(src, *own, &err);
    if (r == assemble_result::complete) return own;
    if (open) {
        failure_left = true;
        left_result = r;
        left_err = err;
    }
    return nullptr;
}

void vesk_connection::publish()
{
    {
        std::lock_guard<std::mutex> g(handoff);
        // The first reply after a request answers it; more frames before the
        // sender has taken it were not asked for and are dropped.
        if (ready_fresh) return;
        std::swap(assembling, ready);
        ready_fresh = true;
    }
    recv_sem.release();
}

const reply_slot* vesk_connection::take()
{
    std::lock_guard<std::mutex> g(handoff);
    if (!ready_fresh) return nullptr;
    std::swap(ready, reading);
    ready_fresh = false;
    return reading;
}

void vesk_connection::discard_pending()
{
    {
        std::lock_guard<std::mutex> g(handoff);
        ready_fresh = false;
    }
    recv_sem.try_acquire();
}
