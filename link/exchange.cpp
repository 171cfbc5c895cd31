// Request/reply exchange: eth_send_cmd builds frames, eth_transfer sends one
// and waits for its reply.
#include <algorithm>
#include <cstring>

#include "connection.h"
#include "frame.h"
#include "vesk.h"
#include "vesk_platform.h"

std::shared_ptr<vesk_connection> vesk::current_connection()
{
    std::lock_guard<std::mutex> g(state_mutex);
    return conn;
}

int vesk::eth_transfer(const char* head, const unsigned char* payload, unsigned int payload_len,
                       unsigned char* dst, unsigned int dst_capacity, unsigned int* got)
{
    std::lock_guard<std::mutex> g(send_mutex);
    std::shared_ptr<vesk_connection> c = current_connection();
    if (!c) {
        vplat::debug_output("send err.\n");
        return VESK_ERR_SEND;
    }
    // A reply that arrived while nobody waited would otherwise be taken for
    // the answer to this request.
    c->discard_pending();
    if (!c->open) return VESK_ERR_LINK_LOST;

    if (vplat::send_pair(c->sock, head, VESK_HEAD_SIZE, payload, payload_len) < 0) {
        vplat::debug_output("send err.\n");
        return VESK_ERR_SEND;
    }

    const reply_slot* reply = nullptr;
    {
        // Read the reply here unless the receive thread got to it first.
        std::lock_guard<std::mutex> rl(c->read_mutex);
        reply = c->take();
        if (reply == nullptr && c->open) reply = c->read_own_reply();
    }
    while (reply == nullptr) {
        c->recv_sem.acquire();
        // A reply that arrived whole before the board hung up still answers.
        reply = c->take();
        if (reply != nullptr) break;
        if (c->link_lost) {
            vplat::debug_output("recv timeout.\n");
            return VESK_ERR_LINK_LOST;
        }
        if (!c->open) return VESK_ERR_LINK_LOST;
        // Still open and nothing new: a wake-up left by a discarded reply.
    }

    const auto* req = reinterpret_cast<const unsigned char*>(head);
    if (reply->oversized) return VESK_ERR_INVALID_REPLY;
    if (!vframe::reply_matches(reply->buf, vframe::get16(req + 2), vframe::get32(req + 8)))
        return VESK_ERR_INVALID_REPLY;
    unsigned reply_len = vframe::get16(reply->buf + 6);
    if (dst != nullptr) {
        // Never write past what the caller's buffer holds.
        if (reply_len > dst_capacity) return VESK_ERR_INVALID_REPLY;
        std::memcpy(dst, reply->buf + VESK_HEAD_SIZE, reply_len);
    }
    *got = reply_len;
    return VESK_OK;
}

int vesk::eth_send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                       unsigned short len, unsigned short* out_len)
{
    // The header is built here and the payload goes out from the caller's
    // buffer behind it in the same send, without a copy.
    unsigned char head[VESK_HEAD_SIZE];
    unsigned offset = 0;
    // Without a buffer there is no payload to send: announcing one the board
    // then waits for would put the stream out of step.
    if (data == nullptr && type != XFER_READ) len = 0;
    for (;;) {
        unsigned chunk = std::min<unsigned>(len - offset, VESK_MAX_PAYLOAD);
        const unsigned char* payload = nullptr;
        unsigned payload_len = 0;
        unsigned char* dst = nullptr;
        uint32_t crc = 0xFFFFFFFFu;
        if (type == XFER_READ) {
            if (data) dst = data + offset;
        } else {
            if (data) {
                payload = data + offset;
                payload_len = chunk;
                crc = payload_crc32(reinterpret_cast<const char*>(payload), static_cast<int>(chunk));
                if (type != XFER_WRITE) dst = data + offset;
            }
        }
        vframe::encode_request(head, cmd, type, arg + offset, crc, chunk);

        unsigned got = 0;
        int r = eth_transfer(reinterpret_cast<const char*>(head), payload, payload_len, dst, chunk, &got);
        if (r != VESK_OK) return connected ? r : VESK_ERR_NOT_CONNECTED;
        if (type == XFER_EXCHANGE) return VESK_OK;
        if (type == XFER_READ && data && out_len && got > 0)
            *out_len = static_cast<unsigned short>(*out_len + got);

        offset += chunk;
        if (offset >= len) return VESK_OK;
        // A read that came back short has reached the end of the data.
        if (type == XFER_READ && got < chunk) return VESK_OK;
    }
}
