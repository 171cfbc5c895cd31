// Machine control and status: stop, continue, reset, home, one interpreter
// line, the interpreter's result text and the machine status block.
#include <cstring>

#include "commands.h"
#include "board_state.h"
#include "result_text.h"
#include "status_block.h"
#include "trace.h"

namespace {

// The line buffer holds the line, its line feed and a terminating zero.
constexpr size_t PARSER_BUFFER = 1280;
constexpr size_t PARSER_MAX_LINE = PARSER_BUFFER - 2;

constexpr const char* HOME_LINE = "g28.2 x0 y0 z0 a0 b0 u0 v0 w0";

int machine_exchange(cnc::board& b, unsigned selector)
{
    return b.command(cmd::MACHINE, XFER_EXCHANGE, selector, nullptr, 0);
}

int read_result_chunk(void* board, uint8_t* dst, uint16_t ask, unsigned short* got)
{
    return static_cast<cnc::board*>(board)->command(cmd::MACHINE, XFER_READ, machine::RESULTS, dst, ask, got);
}

}  // namespace

int cnc::board::cnc_dev_stop()
{
    pelk_trace("cnc stop.\n");
    return machine_exchange(*this, machine::STOP);
}

int cnc::board::cnc_dev_continue()
{
    pelk_trace("cnc continue.\n");
    return machine_exchange(*this, machine::CONTINUE);
}

int cnc::board::cnc_dev_reset()
{
    pelk_trace("cnc reset.\n");
    return machine_exchange(*this, machine::RESET);
}

int cnc::board::cnc_dev_home()
{
    pelk_trace("cnc home.\n");
    return cnc_parser(HOME_LINE) == PELK_OK ? PELK_OK : PELK_ERR_COMMAND;
}

int cnc::board::cnc_parser(const char* line)
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
    return command(cmd::MACHINE, XFER_EXCHANGE, machine::PARSE_LINE, buf, static_cast<unsigned short>(n + 1));
}

int cnc::board::cnc_get_results(uint8_t* buffer, uint16_t capacity, uint16_t* length)
{
    if (buffer == nullptr) return PELK_OK;
    return read_result_text(buffer, capacity, length, read_result_chunk, this);
}

int cnc::board::cnc_get_status(cnc_status* status)
{
    unsigned char buf[STATUS_BLOCK_SIZE] = {};
    if (command(cmd::MACHINE, XFER_READ, machine::STATUS, buf, STATUS_BLOCK_SIZE) != PELK_OK)
        return PELK_ERR_COMMAND;
    if (status == nullptr) return PELK_OK;
    decode_status_block(buf, status);
    return PELK_OK;
}
