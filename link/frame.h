// Private: encoding and checking of command frames.
#pragma once

#include <cstdint>

#include "vesk.h"

namespace vframe {

inline void put16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void put32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t get32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Writes a request header at out[0..31].
void encode_request(unsigned char* out, uint8_t cmd, uint8_t type, uint32_t arg, uint32_t crc,
                    uint32_t data_len);

// Decoded header fields that the host looks at.
struct reply_view {
    uint16_t magic;
    uint16_t cmd;
    uint16_t reply_len;
    uint32_t arg;
};

reply_view decode_head(const unsigned char* head);

// True when a reply header answers a request with this cmd and arg.
bool reply_matches(const unsigned char* reply_head, uint16_t cmd, uint32_t arg);

// A 64-byte discovery answer buffer (unsent bytes read as 0xFF): true and
// the board's identifier when it answers the discovery request.
bool parse_discovery_answer(const unsigned char* answer64, char* machine_id);

}  // namespace vframe
