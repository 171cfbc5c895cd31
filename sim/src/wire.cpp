// Frame decode and encode on the board side.
#include "wire.h"

#include <cstdio>

#include "vesk.h"

namespace bsim {

void decode_head(const uint8_t* h, request& r)
{
    r.magic = get16(h);
    r.cmd = get16(h + 2);
    r.type = get16(h + 4);
    r.reply_len = get16(h + 6);
    r.arg = get32(h + 8);
    r.crc = get32(h + 12);
    r.data_len = get32(h + 28);
}

void encode_reply(const request& r, const std::vector<uint8_t>& payload, std::vector<uint8_t>& out)
{
    out.assign(HEAD, 0);
    put16(&out[0], MAGIC);
    put16(&out[2], r.cmd);
    put16(&out[4], r.type);
    put16(&out[6], uint16_t(payload.size()));
    put32(&out[8], r.arg);
    // The board fills the checksum and length of its replies too, although
    // hosts do not look at them.
    uint32_t crc = payload.empty()
                       ? 0xFFFFFFFFu
                       : payload_crc32(reinterpret_cast<const char*>(payload.data()), int(payload.size()));
    put32(&out[12], crc);
    put32(&out[28], uint32_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

bool crc_ok(const request& r)
{
    if (r.crc == 0xFFFFFFFFu) return true;
    if (r.type == T_READ) return true;
    return payload_crc32(reinterpret_cast<const char*>(r.payload.data()), int(r.payload.size())) == r.crc;
}

std::string describe(const request& r)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "cmd=%u type=%u arg=0x%x data_len=%u crc=%08x", r.cmd, r.type, r.arg,
                  r.data_len, r.crc);
    return buf;
}

std::string hex_prefix(const std::vector<uint8_t>& bytes, size_t max)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < bytes.size() && i < max; ++i) {
        std::snprintf(b, sizeof b, "%02x", bytes[i]);
        if (i) s += ' ';
        s += b;
    }
    if (bytes.size() > max) s += " ...";
    return s;
}

}  // namespace bsim
