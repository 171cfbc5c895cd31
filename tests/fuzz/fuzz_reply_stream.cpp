// Reply assembly and checking from an arbitrary byte stream cut into
// arbitrary pieces. The first byte of the input seeds the piece sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "connection.h"
#include "frame.h"

namespace {

struct piece_source : byte_source {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint32_t seed;
    long read(unsigned char* dst, size_t len, int*) override
    {
        if (at >= size) return 0;
        seed = seed * 1103515245u + 12345u;
        size_t piece = 1 + (seed >> 16) % 97;
        if (piece > len) piece = len;
        if (piece > size - at) piece = size - at;
        std::memcpy(dst, data + at, piece);
        at += piece;
        return static_cast<long>(piece);
    }
    bool wait(int) override { return at < size; }
    void drop_until_quiet(int) override
    {
        // The bytes of one burst: up to the next piece boundary.
        seed = seed * 1103515245u + 12345u;
        size_t burst = (seed >> 16) % 4096;
        at = burst > size - at ? size : at + burst;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    piece_source src;
    src.seed = data[0];
    src.data = data + 1;
    src.size = size - 1;
    static reply_slot slot;
    for (int replies = 0; replies < 64; ++replies) {
        int err = 0;
        if (assemble_reply(src, slot, &err) != assemble_result::complete) break;
        uint16_t len = vframe::get16(slot.buf + 6);
        // Oversized exactly when a marked frame announces more than a frame holds.
        bool marked = vframe::get16(slot.buf) == VESK_MAGIC;
        bool too_long = marked && len != 0xFFFF && len > VESK_MAX_PAYLOAD;
        if (slot.oversized != too_long) std::abort();
        if (vframe::reply_matches(slot.buf, vframe::get16(slot.buf + 2), vframe::get32(slot.buf + 8)) &&
            len == 0xFFFF)
            std::abort();
    }
    return 0;
}
