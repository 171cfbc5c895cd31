// Private: little-endian field access for command payloads.
#pragma once

#include <cstdint>
#include <cstring>

namespace wire {

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
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline float get_float(const unsigned char* p)
{
    uint32_t bits = get32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline void put_float(unsigned char* p, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    put32(p, bits);
}

}  // namespace wire
