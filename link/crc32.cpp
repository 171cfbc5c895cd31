// Frame payload checksum: reflected CRC-32 of the IEEE 802.3 polynomial,
// started from 0 and without final inversion.
#include <array>
#include <cstdint>

#include "vesk.h"

namespace {

// Slicing-by-16 tables: table[0] is the classic byte table; the others let
// the loop take sixteen bytes per step with the same result.
constexpr int slices = 16;

struct crc_tables {
    std::array<std::array<uint32_t, 256>, slices> t{};
    constexpr crc_tables()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < slices; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

constexpr crc_tables tables;

}  // namespace

unsigned payload_crc32_update(unsigned crc, const char* data, int len)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    uint32_t c = crc;
    if (p == nullptr || len <= 0) return c;
    const auto& t = tables.t;
    while (len >= slices) {
        c ^= static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
             static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        uint32_t x = t[15][c & 0xFF] ^ t[14][(c >> 8) & 0xFF] ^ t[13][(c >> 16) & 0xFF] ^ t[12][c >> 24];
#pragma GCC unroll 16
        for (int i = 4; i < slices; ++i) x ^= t[slices - 1 - i][p[i]];
        c = x;
        p += slices;
        len -= slices;
    }
    while (len-- > 0) c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return c;
}

unsigned payload_crc32(const char* data, int len) { return payload_crc32_update(0, data, len); }
