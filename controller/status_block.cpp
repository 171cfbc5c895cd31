// Decoding of the machine status block: fixed little-endian offsets into the
// record's fields.
#include "status_block.h"

#include <algorithm>
#include <cstring>

#include "wire.h"

namespace {

// Wire layout of the status block.
namespace status_wire {
constexpr size_t STATUS_WORD = 0;
constexpr size_t PARSE_LINE = 4;
constexpr size_t RUN_LINE = 12;
constexpr size_t SPINDLE = 20;
constexpr size_t COOLANT = 36;
constexpr size_t TOOLS = 40;
constexpr size_t RUN_STATE = 44;
constexpr size_t WORK_POS = 48;
constexpr size_t MACHINE_POS = 84;
constexpr size_t JOB_NAME = 120;
constexpr size_t JOB_NAME_LEN = 248;
constexpr size_t ALARM = 250;
constexpr size_t AUX = 252;
constexpr size_t DOWNLOAD = 256;
constexpr size_t RESUME = 260;
constexpr size_t LIMITS = 264;
constexpr size_t DOOR = 268;
constexpr size_t AIR = 269;
constexpr size_t DUST = 270;
constexpr size_t DRAWER = 271;
static_assert(DRAWER + 1 == STATUS_BLOCK_SIZE);
}  // namespace status_wire

}  // namespace

void decode_status_block(const unsigned char* buf, cnc_status* status)
{
    namespace w = status_wire;
    status->status_word = wire::get32(buf + w::STATUS_WORD);
    status->parse_line = wire::get32(buf + w::PARSE_LINE);
    status->run_line = wire::get32(buf + w::RUN_LINE);
    for (int i = 0; i < 4; ++i) {
        status->spindle_speed[i] = static_cast<uint16_t>(wire::get32(buf + w::SPINDLE + 4 * i));
        status->coolant[i] = buf[w::COOLANT + i];
    }
    status->tool_numbers = wire::get16(buf + w::TOOLS);
    status->run_state = wire::get32(buf + w::RUN_STATE);
    // The wire carries work positions first; the record declares machine
    // positions first.
    for (int i = 0; i < CNC_AXES; ++i) {
        status->work_pos[i] = wire::get_float(buf + w::WORK_POS + 4 * i);
        status->machine_pos[i] = wire::get_float(buf + w::MACHINE_POS + 4 * i);
    }
    // A name length beyond the field copies only what the field holds.
    size_t name_len = std::min<size_t>(wire::get16(buf + w::JOB_NAME_LEN), CNC_JOB_NAME_LEN);
    std::memcpy(status->job_name, buf + w::JOB_NAME, name_len);
    status->alarm_code = wire::get16(buf + w::ALARM);
    status->aux_byte = buf[w::AUX];
    status->download_bytes = wire::get32(buf + w::DOWNLOAD);
    status->resume_pending = buf[w::RESUME];
    status->limit_state = wire::get16(buf + w::LIMITS);
    // On the wire the door byte comes before the air-pressure byte.
    status->door = buf[w::DOOR];
    status->air_pressure = buf[w::AIR];
    status->dust = buf[w::DUST];
    status->drawer = buf[w::DRAWER];
}
