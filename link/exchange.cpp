// Request/reply exchange: eth_send_cmd builds frames, eth_transfer sends one
// and waits for its reply.
#include <algorithm>
#include <cstring>

#include "connection.h"
#include "frame.h"
#include "vesk_impl.h"
#include "vesk_platform.h"

std::shared_ptr<vesk_connection> vesk_impl::current_connection()
{
    std::lock_guard<std::mutex> g(state_mutex);
    return conn;
}

int vesk_impl::eth_transfer(const char* head, const unsigned char* payload, unsigned int payload_len,
                       unsigned char* dst, unsigned int dst_capacity, unsigned int* got, int deadline_ms)
{
    std::lock_guard<std::mutex> g(send_mutex);
    std::shared_ptr<vesk_connection> c = current_connection();
    if (!c) {
        vplat::debug_output("send err.\n");
        return VESK_ERR_SEND;
    }
    if (!c->open) {
        c->await_close();  // a close under way: done before the result is read
        return VESK_ERR_LINK_LOST;
    }

    c->begin_exchange();
    int result = VESK_OK;
    const reply_slot* reply = nullptr;
    {
        // The socket is this sender's from before its request until its
        // reply is read, so nothing else can be taken for the answer.
        std::lock_guard<std::mutex> rl(c->read_mutex);
        if (!c->drop_unasked()) {
            result = VESK_ERR_LINK_LOST;
        } else if (vplat::send_pair(c->sock, head, VESK_HEAD_SIZE, payload, payload_len) < 0) {
            vplat::debug_output("send err.\n");
            result = VESK_ERR_SEND;
        } else {
            reply = c->read_reply(deadline_ms);
            if (reply == nullptr) result = VESK_ERR_LINK_LOST;
        }
    }
    c->end_exchange();
    if (result == VESK_ERR_LINK_LOST) {
        // A hang-up, a failed read or a passed deadline: the receive thread
        // reports it and closes the link, as for a hang-up between exchanges.
        c->await_close();
        if (c->link_lost) vplat::debug_output("recv timeout.\n");
        return result;
    }
    if (result != VESK_OK) return result;

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

int vesk_impl::eth_send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                       unsigned short len, unsigned short* out_len, unsigned reply_timeout_ms)
{
    const int deadline_ms = static_cast<int>(std::clamp<unsigned>(reply_timeout_ms, 1, 24u * 3600 * 1000));
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
        int r = eth_transfer(reinterpret_cast<const char*>(head), payload, payload_len, dst, chunk, &got, deadline_ms);
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

int vesk_impl::eth_exchange(unsigned char cmd, unsigned int arg, unsigned char* data, unsigned short len,
                       unsigned short* reply_len, unsigned reply_timeout_ms)
{
    if (data == nullptr) len = 0;
    if (len > VESK_MAX_PAYLOAD) return VESK_ERR_INVALID_REPLY;  // nothing sent: one frame is all this carries
    const int deadline_ms = static_cast<int>(std::clamp<unsigned>(reply_timeout_ms, 1, 24u * 3600 * 1000));
    unsigned char head[VESK_HEAD_SIZE];
    uint32_t crc = data ? payload_crc32(reinterpret_cast<const char*>(data), len) : 0xFFFFFFFFu;
    vframe::encode_request(head, cmd, XFER_EXCHANGE, arg, crc, len);
    unsigned got = 0;
    int r = eth_transfer(reinterpret_cast<const char*>(head), data, data ? len : 0, data, len, &got, deadline_ms);
    if (r != VESK_OK) return connected ? r : VESK_ERR_NOT_CONNECTED;
    if (reply_len) *reply_len = static_cast<unsigned short>(got);
    return VESK_OK;
}
