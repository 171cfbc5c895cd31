// Result text assembly: a fake controller serves a text of arbitrary length
// in reads of at most what is asked for, optionally delivering less than it
// could or failing at a chosen read. The text must land in the caller's
// buffer in order, never beyond its capacity, with the stored length equal
// to the bytes delivered; no read may ask for more than 1400 bytes or more
// than the room left, and no text is taken from the controller that does not
// fit.
//
// Input: capacity (2 bytes LE), text length (2 bytes LE), read that fails
// (1 byte, 0 = none, else its number from 1), flags (bit 0: no length
// pointer), pattern seed (1 byte), then per read a delivery limit (2 bytes
// LE) while input lasts; reads beyond the input deliver all they can.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pelk_types.h"
#include "result_text.h"
#include "vesk_platform.h"

namespace {

void check(bool ok)
{
    if (!ok) std::abort();
}

std::vector<std::string> traces;

// The texts served are windows of one fixed pattern, so that long texts cost
// no setup per run.
constexpr size_t PATTERN_SIZE = 65536 + 256;
std::vector<uint8_t> pattern;

void keep_trace(void*, const char* text) { traces.emplace_back(text); }

struct fake_controller {
    const uint8_t* limits;
    size_t limits_left;
    const uint8_t* text;
    size_t text_size;
    size_t taken = 0;  // bytes of the text handed out so far
    int reads = 0;
    int fail_at;
    uint8_t* buffer;
    uint16_t capacity;
    bool failed = false;
    bool stopped = false;  // a read ended the text (short chunk)
    unsigned last_got = 0;

    static int read(void* ctx, uint8_t* dst, uint16_t ask, unsigned short* got)
    {
        auto* c = static_cast<fake_controller*>(ctx);
        // Nothing is read after a failure or after a short chunk.
        check(!c->failed && !c->stopped);
        ++c->reads;
        // Each read lands right behind the bytes already delivered and asks
        // for a full chunk or the room left, whichever is smaller.
        check(dst == c->buffer + c->taken);
        check(ask > 0);
        check(ask == std::min<size_t>(RESULT_CHUNK, c->capacity - c->taken));
        check(*got == 0);
        if (c->reads == c->fail_at) {
            c->failed = true;
            return PELK_ERR_COMMAND;
        }
        size_t n = std::min<size_t>(ask, c->text_size - c->taken);
        if (c->limits_left >= 2) {
            n = std::min<size_t>(n, c->limits[0] | c->limits[1] << 8);
            c->limits += 2;
            c->limits_left -= 2;
        }
        std::memcpy(dst, c->text + c->taken, n);
        c->taken += n;
        *got = static_cast<unsigned short>(n);
        c->last_got = static_cast<unsigned>(n);
        if (n != RESULT_CHUNK) c->stopped = true;
        return PELK_OK;
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vplat::set_debug_sink(keep_trace, nullptr);
    pattern.resize(PATTERN_SIZE);
    for (size_t i = 0; i < PATTERN_SIZE; ++i) pattern[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 7) return 0;
    fake_controller c;
    c.capacity = static_cast<uint16_t>(data[0] | data[1] << 8);
    size_t text_len = data[2] | data[3] << 8;
    c.fail_at = data[4];
    bool with_length = (data[5] & 1) == 0;
    c.text = pattern.data() + data[6];
    c.text_size = text_len;
    c.limits = data + 7;
    c.limits_left = size - 7;
    const bool honest = c.limits_left < 2;

    // Exactly the capacity, so the address sanitizer sees any write beyond it.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[c.capacity]);
    c.buffer = buffer.get();
    uint16_t length = 0xBEEF;
    traces.clear();

    int r = read_result_text(buffer.get(), c.capacity, with_length ? &length : nullptr, fake_controller::read, &c);

    // Whatever was delivered before the end or a failure is in the buffer.
    check(std::memcmp(buffer.get(), c.text, c.taken) == 0);
    check(c.taken <= c.capacity);
    check(c.reads <= c.capacity / RESULT_CHUNK + 1);
    if (c.failed) {
        check(r == PELK_ERR_COMMAND);
        check(length == 0xBEEF);
        check(traces.empty());
        return 0;
    }
    check(r == PELK_OK);
    if (with_length) check(length == c.taken);
    else check(length == 0xBEEF);
    // The read stops at a short chunk or when the buffer is used up.
    check(c.stopped || c.taken == c.capacity);
    if (honest) {
        // A controller that hands out all it can: the text, or as much of
        // it as fits, and the rest stays with the controller.
        check(c.taken == std::min<size_t>(text_len, c.capacity));
    }
    // The trace reports the length of the last, short chunk (0 when the
    // buffer filled up with whole chunks).
    check(!traces.empty() && traces.size() <= 2);
    check(traces[0] == "[result]:get " + std::to_string(c.stopped ? c.last_got : 0) + " bytes.\n");
    return 0;
}
