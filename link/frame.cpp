#include "frame.h"

#include <cstring>

namespace vframe {

void encode_request(unsigned char* out, uint8_t cmd, uint8_t type, uint32_t arg, uint32_t crc,
                    uint32_t data_len)
{
    put16(out + 0, VESK_MAGIC);
    put16(out + 2, cmd);
    put16(out + 4, type);
    put16(out + 6, 0xFFFF);
    put32(out + 8, arg);
    put32(out + 12, crc);
    std::memset(out + 16, 0, 12);
    put32(out + 28, data_len);
}

reply_view decode_head(const unsigned char* head)
{
    return reply_view{get16(head), get16(head + 2), get16(head + 6), get32(head + 8)};
}

bool reply_matches(const unsigned char* reply_head, uint16_t cmd, uint32_t arg)
{
    reply_view v = decode_head(reply_head);
    // A request carries 0xFFFF in reply_len, so an echoed request never passes.
    return v.magic == VESK_MAGIC && v.cmd == cmd && v.arg == arg && v.reply_len != 0xFFFF;
}

bool parse_discovery_answer(const unsigned char* answer64, char* machine_id)
{
    if (!reply_matches(answer64, 1, 0)) return false;
    std::memcpy(machine_id, answer64 + 32, VESK_ID_LEN);
    return true;
}

}  // namespace vframe
