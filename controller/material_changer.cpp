// The AR material changer: every request is an 8-byte block sent with the
// machine command's AR selector; the log request is padded to 4096 bytes.
#include <algorithm>
#include <cstring>

#include "commands.h"
#include "board_state.h"
#include "trace.h"
#include "wire.h"

namespace {

// The library drives one unit, number 0.
constexpr int AR_UNIT = 0;

constexpr size_t AR_REQUEST_SIZE = 8;
constexpr size_t AR_PARAMETER = 4;
constexpr unsigned short AR_LOG_BLOCK = 4096;
constexpr size_t AR_LOG_TEXT = 4;
constexpr uint16_t AR_LOG_MAX_TEXT = 4000;

void build_request(unsigned char* out, uint8_t operation, uint32_t parameter)
{
    out[0] = AR_UNIT;
    out[1] = operation;
    out[2] = 0;
    out[3] = 0;
    wire::put32(out + AR_PARAMETER, parameter);
}

int ar_write(cnc::board& b, uint8_t operation, uint32_t parameter)
{
    unsigned char req[AR_REQUEST_SIZE];
    build_request(req, operation, parameter);
    return b.command(cmd::MACHINE, XFER_WRITE, machine::AR, req, sizeof req);
}

// Sends a request as an exchange; on success *reply_parameter is the
// parameter word of the answer.
int ar_query(cnc::board& b, uint8_t operation, uint32_t* reply_parameter)
{
    unsigned char req[AR_REQUEST_SIZE];
    build_request(req, operation, 0);
    if (b.command(cmd::MACHINE, XFER_EXCHANGE, machine::AR, req, sizeof req) != PELK_OK) return PELK_ERR_COMMAND;
    *reply_parameter = wire::get32(req + AR_PARAMETER);
    return PELK_OK;
}

}  // namespace

int cnc::board::cnc_ar_change_pad(uint8_t from_pad, uint8_t to_pad)
{
    pelk_trace("cnc ar%d change pad from %d to %d.\n", AR_UNIT, from_pad, to_pad);
    return ar_write(*this, AR_OP_CHANGE_PAD, static_cast<uint32_t>(from_pad) | static_cast<uint32_t>(to_pad) << 8);
}

int cnc::board::cnc_ar_cylinder(bool open)
{
    pelk_trace("cnc ar%d %s cylinder.\n", AR_UNIT, open ? "open" : "close");
    return ar_write(*this, AR_OP_CONTROL, open ? AR_CONTROL_CYLINDER_OPEN : AR_CONTROL_CYLINDER_CLOSE);
}

int cnc::board::cnc_ar_home()
{
    pelk_trace("cnc ar%d home.\n", AR_UNIT);
    return ar_write(*this, AR_OP_CONTROL, AR_CONTROL_HOME);
}

int cnc::board::cnc_ar_get_point(uint32_t* point)
{
    uint32_t value = 0;
    if (ar_query(*this, AR_OP_GET_POINT, &value) != PELK_OK) return PELK_ERR_COMMAND;
    if (point) *point = value;
    pelk_trace("cnc ar%d get ponit 0x%x.\n", AR_UNIT, value);
    return PELK_OK;
}

int cnc::board::cnc_ar_get_log(char* text, uint16_t length)
{
    pelk_trace("cnc ar%d get log message.\n", AR_UNIT);
    unsigned char block[AR_LOG_BLOCK] = {};
    build_request(block, AR_OP_GET_LOG, 0);
    if (command(cmd::MACHINE, XFER_EXCHANGE, machine::AR, block, sizeof block) != PELK_OK)
        return PELK_ERR_COMMAND;
    if (text) std::memcpy(text, block + AR_LOG_TEXT, std::min(length, AR_LOG_MAX_TEXT));
    return PELK_OK;
}

int cnc::board::cnc_ar_get_version(int32_t* version)
{
    pelk_trace("cnc ar%d get version.\n", AR_UNIT);
    uint32_t value = 0;
    if (ar_query(*this, AR_OP_GET_VERSION, &value) != PELK_OK) return PELK_ERR_COMMAND;
    if (version) *version = static_cast<int32_t>(value);
    return PELK_OK;
}
