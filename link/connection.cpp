#include "connection.h"

#include <utility>

#include "frame.h"

namespace {

// Reads exactly len bytes unless the peer hangs up or the read fails.
assemble_result read_exact(vplat::socket_t sock, unsigned char* dst, size_t len, int* err)
{
    size_t got = 0;
    while (got < len) {
        long n = vplat::recv_bytes(sock, dst + got, len - got);
        if (n == 0) {
            *err = 0;
            return assemble_result::peer_closed;
        }
        if (n < 0) {
            int e = vplat::last_error();
            if (vplat::error_is_transient(e)) continue;  // keep reading the same reply
            *err = e;
            return assemble_result::failed;
        }
        got += static_cast<size_t>(n);
    }
    return assemble_result::complete;
}

}  // namespace

assemble_result vesk_connection::assemble(int* err)
{
    reply_slot* slot = assembling;  // only this thread swaps it away, in publish()
    slot->oversized = false;
    // The whole header first: a length is never taken from a partial header.
    assemble_result r = read_exact(sock, slot->buf, VESK_HEAD_SIZE, err);
    if (r != assemble_result::complete) return r;
    uint16_t reply_len = vframe::get16(slot->buf + 6);
    if (reply_len == 0xFFFF) return r;  // invalid by definition, nothing follows
    if (reply_len <= VESK_MAX_PAYLOAD) return read_exact(sock, slot->buf + VESK_HEAD_SIZE, reply_len, err);

    // Too long for any frame: keep the first bytes, drop the rest, so the
    // stream stays in step and the sender rejects the reply.
    slot->oversized = true;
    r = read_exact(sock, slot->buf + VESK_HEAD_SIZE, VESK_MAX_PAYLOAD, err);
    if (r != assemble_result::complete) return r;
    unsigned char sink[1024];
    size_t left = reply_len - VESK_MAX_PAYLOAD;
    while (left > 0 && r == assemble_result::complete) {
        size_t n = left < sizeof sink ? left : sizeof sink;
        r = read_exact(sock, sink, n, err);
        left -= n;
    }
    return r;
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
