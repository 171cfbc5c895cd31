// Board-side frame layout: decoding requests and encoding replies. Kept
// apart from the link library's own frame code so that each side checks the
// other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bsim {

constexpr uint16_t MAGIC = 0x5AA5;
constexpr int HEAD = 32;
constexpr uint32_t MAX_PAYLOAD = 10208;
constexpr uint16_t LEN_NONE = 0xFFFF;
constexpr uint16_t T_EXCHANGE = 1, T_READ = 2, T_WRITE = 4;

inline void put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline float getf(const uint8_t* p)
{
    uint32_t u = get32(p);
    float f;
    __builtin_memcpy(&f, &u, 4);
    return f;
}
inline void putf(uint8_t* p, float f)
{
    uint32_t u;
    __builtin_memcpy(&u, &f, 4);
    put32(p, u);
}

struct request {
    uint16_t magic = 0, cmd = 0, type = 0, reply_len = 0;
    uint32_t arg = 0, crc = 0, data_len = 0;
    std::vector<uint8_t> payload;  // data_len bytes, empty for a read

    // The number of payload bytes that follow the header on the wire.
    uint32_t wire_payload() const { return type == T_READ ? 0 : data_len; }
};

// Fills the header fields from 32 bytes.
void decode_head(const uint8_t* head, request& r);

// A reply frame echoing the request's cmd, type and arg, into out (whose
// storage is reused).
void encode_reply(const request& r, const std::vector<uint8_t>& payload, std::vector<uint8_t>& out);

// True when a payload's checksum field is either "none" or right.
bool crc_ok(const request& r);

std::string describe(const request& r);
std::string hex_prefix(const std::vector<uint8_t>& bytes, size_t max);

}  // namespace bsim
