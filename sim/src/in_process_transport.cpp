// Frames built and checked as the link library builds and checks them, and
// answered by the simulated board's engine on the caller's thread.
#include "board_sim_transport.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "vesk.h"
#include "wire.h"

namespace bsim {

namespace {

constexpr uint16_t NO_REPLY_LEN = 0xFFFF;

void encode_request(unsigned char* out, uint8_t cmd, uint8_t type, uint32_t arg, uint32_t crc, uint32_t data_len)
{
    std::memset(out, 0, VESK_HEAD_SIZE);
    put16(out, VESK_MAGIC);
    put16(out + 2, cmd);
    put16(out + 4, type);
    put16(out + 6, NO_REPLY_LEN);
    put32(out + 8, arg);
    put32(out + 12, crc);
    put32(out + 28, data_len);
}

}  // namespace

in_process_transport::in_process_transport(board& b) : sim(b) {}

in_process_transport::~in_process_transport() { end(false); }

int in_process_transport::open_connection(int id, pelk_close_callback cb, void* context)
{
    if (!sim.running()) return VESK_ERR_SOCKET;
    end(true);
    std::lock_guard<std::mutex> g(state_lock);
    connection = sim.open_in_process();
    dev_id = id;
    callback = cb;
    ctx = context;
    return VESK_OK;
}

int in_process_transport::open_index(int id, pelk_close_callback cb, void* context)
{
    // Board 0 of the poll, or the fixed address (-1).
    if (id != 0 && id != -1) return VESK_ERR_NO_DEVICE;
    return open_connection(id, cb, context);
}

int in_process_transport::open_id(const char* machine_id, pelk_close_callback cb, void* context)
{
    auto mine = sim.ident().machine_id;
    if (machine_id == nullptr || std::memcmp(machine_id, mine.data(), mine.size()) != 0) return VESK_ERR_NO_DEVICE;
    return open_connection(0, cb, context);
}

int in_process_transport::open_address(const char* ipv4, pelk_close_callback cb, void* context)
{
    if (ipv4 == nullptr) return VESK_ERR_NO_DEVICE;
    return open_connection(-1, cb, context);
}

in_process_transport::ended in_process_transport::take_connection()
{
    std::lock_guard<std::mutex> g(state_lock);
    if (connection == 0) return {};
    sim.close_in_process(connection);
    connection = 0;
    return {callback, ctx, dev_id};
}

void in_process_transport::end(bool call_back)
{
    ended e = take_connection();
    if (call_back) e.call();
}

int in_process_transport::close()
{
    {
        std::lock_guard<std::mutex> g(state_lock);
        if (connection == 0) return VESK_ERR_NOT_CONNECTED;
    }
    end(true);
    return VESK_OK;
}

void in_process_transport::detach() { end(false); }

bool in_process_transport::alive()
{
    // The link's probe: command 0, answered at once by a live board.
    return send(0, XFER_READ, 0, nullptr, 0, nullptr, VESK_PROBE_TIMEOUT_MS) == VESK_OK;
}

int in_process_transport::poll(char* ids, char* count)
{
    if (!sim.running()) {
        if (count) *count = 0;
        return VESK_ERR_NO_DEVICE;
    }
    auto mine = sim.ident().machine_id;
    if (ids) std::memcpy(ids, mine.data(), mine.size());
    if (count) *count = 1;
    return VESK_OK;
}

int in_process_transport::address_of(int id, char* ipv4, int capacity)
{
    if (id != 0 || ipv4 == nullptr || capacity <= 0) return VESK_ERR_NO_DEVICE;
    const char* text = "127.0.0.1";
    if (std::strlen(text) + 1 > size_t(capacity)) return VESK_ERR_NO_DEVICE;
    std::memcpy(ipv4, text, std::strlen(text) + 1);
    return VESK_OK;
}

int in_process_transport::transfer(const unsigned char* head, const unsigned char* payload, unsigned payload_len,
                                   unsigned char* dst, unsigned capacity, unsigned* got, ended* lost)
{
    uint64_t conn;
    {
        std::lock_guard<std::mutex> g(state_lock);
        conn = connection;
    }
    if (conn == 0) return VESK_ERR_SEND;
    std::vector<uint8_t> frame(head, head + VESK_HEAD_SIZE);
    if (payload_len) frame.insert(frame.end(), payload, payload + payload_len);
    std::vector<uint8_t> reply;
    auto kind = sim.answer_in_process(conn, frame.data(), frame.size(), reply);
    if (kind == board::answer_kind::closed || reply.empty()) {
        // A hang-up, or no answer before the deadline: the link is lost.
        *lost = take_connection();
        return VESK_ERR_LINK_LOST;
    }
    if (kind == board::answer_kind::replied_then_closed) *lost = take_connection();
    if (reply.size() < size_t(VESK_HEAD_SIZE)) return VESK_ERR_INVALID_REPLY;
    const uint8_t* r = reply.data();
    uint16_t reply_len = get16(r + 6);
    bool matches = get16(r) == VESK_MAGIC && get16(r + 2) == get16(head + 2) && get32(r + 8) == get32(head + 8) &&
                   reply_len != NO_REPLY_LEN;
    if (!matches || reply.size() < size_t(VESK_HEAD_SIZE) + reply_len) return VESK_ERR_INVALID_REPLY;
    if (dst != nullptr) {
        if (reply_len > capacity) return VESK_ERR_INVALID_REPLY;
        std::memcpy(dst, r + VESK_HEAD_SIZE, reply_len);
    }
    *got = reply_len;
    return VESK_OK;
}

int in_process_transport::send(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                               unsigned short len, unsigned short* out_len, unsigned)
{
    ended lost;
    int r;
    {
        std::lock_guard<std::mutex> g(send_lock);
        r = send_locked(cmd, type, arg, data, len, out_len, &lost);
    }
    lost.call();
    return r;
}

int in_process_transport::send_locked(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data,
                                      unsigned short len, unsigned short* out_len, ended* lost)
{
    unsigned char head[VESK_HEAD_SIZE];
    unsigned offset = 0;
    if (data == nullptr && type != XFER_READ) len = 0;
    for (;;) {
        unsigned chunk = std::min<unsigned>(len - offset, VESK_MAX_PAYLOAD);
        const unsigned char* payload = nullptr;
        unsigned payload_len = 0;
        unsigned char* dst = nullptr;
        uint32_t crc = 0xFFFFFFFFu;
        if (type == XFER_READ) {
            if (data) dst = data + offset;
        } else if (data) {
            payload = data + offset;
            payload_len = chunk;
            crc = payload_crc32(reinterpret_cast<const char*>(payload), static_cast<int>(chunk));
            if (type != XFER_WRITE) dst = data + offset;
        }
        encode_request(head, cmd, type, arg + offset, crc, chunk);
        unsigned got = 0;
        int r = transfer(head, payload, payload_len, dst, chunk, &got, lost);
        if (r != VESK_OK) return r == VESK_ERR_SEND ? VESK_ERR_NOT_CONNECTED : r;
        if (type == XFER_EXCHANGE) return VESK_OK;
        if (type == XFER_READ && data && out_len && got > 0) *out_len = static_cast<unsigned short>(*out_len + got);
        offset += chunk;
        if (offset >= len) return VESK_OK;
        if (type == XFER_READ && got < chunk) return VESK_OK;
    }
}

int in_process_transport::exchange(unsigned char cmd, unsigned int arg, unsigned char* data, unsigned short len,
                                   unsigned short* reply_len, unsigned)
{
    ended lost;
    int r;
    {
        std::lock_guard<std::mutex> g(send_lock);
        r = exchange_locked(cmd, arg, data, len, reply_len, &lost);
    }
    lost.call();
    return r;
}

int in_process_transport::exchange_locked(unsigned char cmd, unsigned int arg, unsigned char* data,
                                          unsigned short len, unsigned short* reply_len, ended* lost)
{
    if (data == nullptr) len = 0;
    if (len > VESK_MAX_PAYLOAD) return VESK_ERR_INVALID_REPLY;
    unsigned char head[VESK_HEAD_SIZE];
    uint32_t crc = data ? payload_crc32(reinterpret_cast<const char*>(data), len) : 0xFFFFFFFFu;
    encode_request(head, cmd, XFER_EXCHANGE, arg, crc, len);
    unsigned got = 0;
    int r = transfer(head, data, data ? len : 0, data, len, &got, lost);
    if (r != VESK_OK) return r == VESK_ERR_SEND ? VESK_ERR_NOT_CONNECTED : r;
    if (reply_len) *reply_len = static_cast<unsigned short>(got);
    return VESK_OK;
}

std::unique_ptr<cnc::transport> in_process(board& b) { return std::make_unique<in_process_transport>(b); }

}  // namespace bsim
