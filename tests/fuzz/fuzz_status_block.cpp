// Status block decoding: the input is the status reply, cut or zero-padded to
// the 272 bytes the read asks for (bytes the controller does not deliver stay
// zero). Every record field must hold the bytes at its own wire offset, the
// name must fill only as many bytes as the name length says (at most the
// field), and nothing outside the record may be written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "status_block.h"

namespace {

// The record sits between two guard areas inside one allocation, so a write
// past either end shows up even where the sanitizer sees no overflow.
constexpr size_t GUARD = 64;
constexpr unsigned char FILL = 0xA5;

uint32_t le(const unsigned char* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

void check(bool ok)
{
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    unsigned char block[STATUS_BLOCK_SIZE] = {};
    std::memcpy(block, data, size < sizeof block ? size : sizeof block);

    const size_t total = GUARD + sizeof(cnc_status) + GUARD;
    std::unique_ptr<unsigned char[]> area(new unsigned char[total]);
    std::memset(area.get(), FILL, total);
    auto* st = reinterpret_cast<cnc_status*>(area.get() + GUARD);

    decode_status_block(block, st);

    for (size_t i = 0; i < GUARD; ++i) {
        check(area[i] == FILL);
        check(area[GUARD + sizeof(cnc_status) + i] == FILL);
    }

    // Offsets as the status reply lays them out.
    check(st->status_word == le(block + 0, 4));
    check(st->parse_line == le(block + 4, 4));
    check(st->run_line == le(block + 12, 4));
    for (int i = 0; i < 4; ++i) {
        check(st->spindle_speed[i] == le(block + 20 + 4 * i, 2));  // low 16 bits of each word
        check(st->coolant[i] == block[36 + i]);
    }
    check(st->tool_numbers == le(block + 40, 2));
    check(st->run_state == le(block + 44, 4));
    // Work positions come first on the wire, machine positions first in the
    // record; compared as bit patterns so that NaNs are checked too.
    for (int i = 0; i < CNC_AXES; ++i) {
        check(bits(st->work_pos[i]) == le(block + 48 + 4 * i, 4));
        check(bits(st->machine_pos[i]) == le(block + 84 + 4 * i, 4));
    }
    size_t name_len = le(block + 248, 2);
    if (name_len > CNC_JOB_NAME_LEN) name_len = CNC_JOB_NAME_LEN;
    check(std::memcmp(st->job_name, block + 120, name_len) == 0);
    // No terminating zero added: the rest of the field is as the caller left it.
    for (size_t i = name_len; i < CNC_JOB_NAME_LEN; ++i) check(static_cast<unsigned char>(st->job_name[i]) == FILL);
    check(st->alarm_code == le(block + 250, 2));
    check(st->aux_byte == block[252]);  // widened, not sign-extended
    check(st->download_bytes == le(block + 256, 4));
    check(st->resume_pending == block[260]);
    check(st->limit_state == le(block + 264, 2));
    // The door byte comes before the air-pressure byte on the wire.
    check(st->door == block[268]);
    check(st->air_pressure == block[269]);
    check(st->dust == block[270]);
    check(st->drawer == block[271]);
    return 0;
}
