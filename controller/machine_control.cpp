// Machine control and status: stop, continue, reset, home, one interpreter
// line, the interpreter's result text and the machine status block.
#include <algorithm>
#include <cstring>

#include "commands.h"
#include "device.h"
#include "link_object.h"
#include "trace.h"
#include "wire.h"

namespace {

// The line buffer holds the line, its line feed and a terminating zero.
constexpr size_t PARSER_BUFFER = 1280;
constexpr size_t PARSER_MAX_LINE = PARSER_BUFFER - 2;

constexpr unsigned short RESULT_CHUNK = 1400;

constexpr const char* HOME_LINE = "g28.2 x0 y0 z0 a0 b0 u0 v0 w0";

// Wire layout of the status block.
namespace status_wire {
constexpr size_t SIZE = 272;
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
}  // namespace status_wire

int machine_exchange(unsigned selector)
{
    return send_cmd(cmd::MACHINE, XFER_EXCHANGE, selector, nullptr, 0);
}

}  // namespace

int pelk::cnc_dev_stop()
{
    pelk_trace("cnc stop.\n");
    return machine_exchange(machine::STOP);
}

int pelk::cnc_dev_continue()
{
    pelk_trace("cnc continue.\n");
    return machine_exchange(machine::CONTINUE);
}

int pelk::cnc_dev_reset()
{
    pelk_trace("cnc reset.\n");
    return machine_exchange(machine::RESET);
}

int pelk::cnc_dev_home()
{
    pelk_trace("cnc home.\n");
    // Through the interface, so that the line goes the same way as any other.
    pelk_cnc* self = this;
    return self->cnc_parser(HOME_LINE) == PELK_OK ? PELK_OK : PELK_ERR_COMMAND;
}

int pelk::cnc_parser(const char* line)
{
    if (line == nullptr) {
        pelk_trace("cnc_parser():no line given.\n");
        return PELK_ERR_RANGE;
    }
    pelk_trace("cnc parser [%s].\n", line);
    size_t n = std::strlen(line);
    if (n > PARSER_MAX_LINE) {
        // The line, its line feed and a terminating zero must fit the buffer.
        pelk_trace("cnc_parser():line of %zu bytes is longer than %zu, not sent.\n", n, PARSER_MAX_LINE);
        return PELK_ERR_RANGE;
    }
    unsigned char buf[PARSER_BUFFER] = {};
    std::memcpy(buf, line, n);
    buf[n] = '\n';
    // The reply lands back in buf and is not used.
    return send_cmd(cmd::MACHINE, XFER_EXCHANGE, machine::PARSE_LINE, buf, static_cast<unsigned short>(n + 1));
}

int pelk::cnc_get_results(uint8_t* buffer, uint16_t capacity, uint16_t* length)
{
    if (buffer == nullptr) return PELK_OK;

    // Chunks of 1400 bytes until one comes back short. No read asks for more
    // than the room left in the caller's buffer; when the buffer fills up
    // before the text ends, the read stops there and the rest of the text
    // stays with the controller for the next call.
    uint16_t offset = 0;
    uint16_t last = 0;
    bool full = false;
    for (;;) {
        uint16_t ask = static_cast<uint16_t>(std::min<unsigned>(RESULT_CHUNK, capacity - offset));
        if (ask == 0) {
            full = true;
            break;
        }
        unsigned short got = 0;
        if (send_cmd(cmd::MACHINE, XFER_READ, machine::RESULTS, buffer + offset, ask, &got) != PELK_OK)
            return PELK_ERR_COMMAND;
        if (got != RESULT_CHUNK) {
            last = got;
            full = got == ask;
            break;
        }
        offset = static_cast<uint16_t>(offset + got);
    }
    pelk_trace("[result]:get %d bytes.\n", last);
    if (full)
        pelk_trace("[result]:buffer of %d bytes is full, any rest of the text is left for the next read.\n",
                   capacity);
    if (length) *length = static_cast<uint16_t>(offset + last);
    return PELK_OK;
}

int pelk::cnc_get_status(cnc_status* status)
{
    namespace w = status_wire;
    unsigned char buf[w::SIZE] = {};
    if (send_cmd(cmd::MACHINE, XFER_READ, machine::STATUS, buf, w::SIZE) != PELK_OK) return PELK_ERR_COMMAND;
    if (status == nullptr) return PELK_OK;

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
    return PELK_OK;
}
