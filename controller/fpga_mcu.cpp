// FPGA configuration flash and MCU application: the control and erase
// commands around the chunked transfer. Every failure, of a command or of the
// transfer, ends the operation at once with PELK_ERR_COMMAND; nothing already
// done on the board is undone.
#include "commands.h"
#include "board_state.h"
#include "trace.h"
#include "transfer.h"

namespace {

constexpr unsigned FPGA_RESET_LINE = 1;
constexpr unsigned FPGA_PROGRAM_LINE = 2;

constexpr unsigned APP_OPEN = 1;
constexpr unsigned APP_CLOSE = 2;

int fpga_control(cnc::board& b, unsigned line, unsigned char level)
{
    unsigned char byte = level;
    return b.command(cmd::FPGA_CONTROL, XFER_WRITE, line, &byte, 1);
}

// A transfer op must name a terminated local path before anything is sent.
bool usable_name(const _flash_msg* msg, const char* who)
{
    if (name_field_terminated(msg->file_name)) return true;
    pelk_trace("%s():file name does not fit 256 bytes\n", who);
    return false;
}

}  // namespace

int cnc::board::mcu_bsp_fpga_flash(_flash_msg* msg)
{
    if (!msg) return PELK_ERR_RANGE;
    const uint32_t op = msg->op;
    if (op != FLASH_OP_WRITE && op != FLASH_OP_READ && op != FLASH_OP_ERASE) {
        pelk_trace("mcu_bsp_fpga_flash():unknown op %u\n", op);
        return PELK_ERR_RANGE;
    }
    if (op != FLASH_OP_ERASE && !usable_name(msg, "mcu_bsp_fpga_flash")) return PELK_ERR_RANGE;

    if (fpga_control(*this, FPGA_PROGRAM_LINE, 0) != PELK_OK) return PELK_ERR_COMMAND;
    if (op != FLASH_OP_READ && command(cmd::FPGA_FLASH, XFER_EXCHANGE, 0, nullptr, 0) != PELK_OK)
        return PELK_ERR_COMMAND;
    if (op != FLASH_OP_ERASE && mcu_update_flash(*this, msg) != PELK_OK) return PELK_ERR_COMMAND;
    if (op == FLASH_OP_WRITE && fpga_control(*this, FPGA_PROGRAM_LINE, 1) != PELK_OK) return PELK_ERR_COMMAND;
    return PELK_OK;
}

int cnc::board::mcu_bsp_fpga_reset()
{
    if (fpga_control(*this, FPGA_RESET_LINE, 0) != PELK_OK) return PELK_ERR_COMMAND;
    if (fpga_control(*this, FPGA_RESET_LINE, 1) != PELK_OK) return PELK_ERR_COMMAND;
    return PELK_OK;
}

int cnc::board::mcu_bsp_update_app(_flash_msg* msg)
{
    if (!msg) return PELK_ERR_RANGE;
    const uint32_t op = msg->op;
    // The application cannot be read back.
    if (op == FLASH_OP_READ) return PELK_ERR_REFUSED;
    // Any other op would make the transfer truncate the local file and read into it.
    if (op != FLASH_OP_WRITE && op != FLASH_OP_ERASE) {
        pelk_trace("mcu_bsp_update_app():unknown op %u\n", op);
        return PELK_ERR_RANGE;
    }
    if (op == FLASH_OP_WRITE && !usable_name(msg, "mcu_bsp_update_app")) return PELK_ERR_RANGE;

    if (op == FLASH_OP_WRITE && command(cmd::UPDATE, XFER_EXCHANGE, APP_OPEN, nullptr, 0) != PELK_OK)
        return PELK_ERR_COMMAND;
    if (op != FLASH_OP_ERASE && mcu_update_flash(*this, msg) != PELK_OK) return PELK_ERR_COMMAND;
    unsigned char written = op == FLASH_OP_WRITE ? 1 : 0;
    if (command(cmd::UPDATE, XFER_EXCHANGE, APP_CLOSE, &written, 1) != PELK_OK) return PELK_ERR_COMMAND;
    return PELK_OK;
}
