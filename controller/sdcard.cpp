// Files on the board's SD card: create, open, close, erase, write a local
// file (with an optional checksum for the board to verify), read a file into
// a local one, size and checksum queries, and formatting the card. The name
// always travels as the whole 256-byte field.
#include <cstring>

#include "commands.h"
#include "board_state.h"
#include "reply_deadlines.h"
#include "trace.h"
#include "transfer.h"
#include "wire.h"

namespace {

// Arguments of the SD card file command.
constexpr unsigned SD_CREATE = 1;
constexpr unsigned SD_OPEN = 2;
constexpr unsigned SD_CLOSE = 4;
constexpr unsigned SD_ERASE = 8;
constexpr unsigned SD_STAT = 128;
constexpr unsigned SD_VERIFY = 256;
constexpr unsigned SD_CHECKSUM = 512;
constexpr unsigned SD_FORMAT = 2048;

enum sd_op : uint32_t {
    OP_CREATE = 1,
    OP_OPEN = 2,
    OP_CLOSE = 3,
    OP_WRITE = 4,
    OP_READ = 5,
    OP_ERASE = 6,
    OP_STAT = 7,
    OP_CHECKSUM = 8,
    OP_FORMAT = 9,
};

int send_name(cnc::board& b, unsigned selector, _flash_msg* msg)
{
    return b.command(cmd::SD_FILE, XFER_WRITE, selector, reinterpret_cast<unsigned char*>(msg->file_name),
                    TRANSFER_NAME_FIELD);
}

// Sends the name and returns the board's answer in the same 256-byte block.
// An answer shorter than the field asked for fails the query: the name's
// bytes would otherwise stand in for the size or the checksum.
int query_name(cnc::board& b, unsigned selector, const _flash_msg* msg, unsigned char* block, unsigned short field)
{
    std::memcpy(block, msg->file_name, TRANSFER_NAME_FIELD);
    unsigned short got = 0;
    if (b.link().exchange(cmd::SD_FILE, selector, block, TRANSFER_NAME_FIELD, &got,
                                   reply_deadline_ms(cmd::SD_FILE, XFER_EXCHANGE, selector)) != 0)
        return PELK_ERR_COMMAND;
    if (got < field) {
        pelk_trace("mcu_bsp_sdcard():short answer, %d bytes\n", got);
        return PELK_ERR_COMMAND;
    }
    return PELK_OK;
}

int transfer_file(cnc::board& b, _flash_msg* msg)
{
    const bool writing = msg->op == OP_WRITE;
    if (writing) {
        pelk_trace("mcu_bsp_sdcard():creat file %s \n", msg->file_name);
        if (send_name(b, SD_CREATE, msg) != PELK_OK) return PELK_ERR_COMMAND;
    } else {
        pelk_trace("mcu_bsp_sdcard():open file %s \n", msg->file_name);
        if (send_name(b, SD_OPEN, msg) != PELK_OK) return PELK_ERR_COMMAND;
    }
    pelk_trace("mcu_bsp_sdcard():update file\n");
    if (mcu_update_flash(b, msg) != PELK_OK) return PELK_ERR_COMMAND;
    if (msg->check) {
        if (writing) {
            pelk_trace("mcu_bsp_sdcard():check file\n");
            if (b.command(cmd::SD_FILE, XFER_WRITE, SD_VERIFY, msg->checksum, sizeof msg->checksum) != PELK_OK)
                return PELK_ERR_COMMAND;
        }
    } else {
        pelk_trace("mcu_bsp_sdcard():no check\n");
    }
    pelk_trace("mcu_bsp_sdcard():close file\n");
    if (send_name(b, SD_CLOSE, msg) != PELK_OK) return PELK_ERR_COMMAND;
    return PELK_OK;
}

}  // namespace

int cnc::board::mcu_bsp_sdcard(_flash_msg* msg)
{
    if (!msg) return PELK_ERR_RANGE;
    const uint32_t op = msg->op;
    if (op < OP_CREATE || op > OP_FORMAT) return PELK_OK;
    // Every operation but formatting sends the name field whole and traces it.
    if (op != OP_FORMAT && !name_field_terminated(msg->file_name)) {
        pelk_trace("mcu_bsp_sdcard():file name does not fit 256 bytes\n");
        return PELK_ERR_RANGE;
    }

    unsigned char block[TRANSFER_NAME_FIELD];
    switch (op) {
    case OP_CREATE:
        pelk_trace("mcu_bsp_sdcard():creat file %s \n", msg->file_name);
        return send_name(*this, SD_CREATE, msg);
    case OP_OPEN:
        pelk_trace("mcu_bsp_sdcard():open file %s \n", msg->file_name);
        return send_name(*this, SD_OPEN, msg);
    case OP_CLOSE:
        pelk_trace("mcu_bsp_sdcard():close file %s \n", msg->file_name);
        return send_name(*this, SD_CLOSE, msg);
    case OP_WRITE:
    case OP_READ: return transfer_file(*this, msg);
    case OP_ERASE:
        pelk_trace("mcu_bsp_sdcard():erase file %s \n", msg->file_name);
        return send_name(*this, SD_ERASE, msg);
    case OP_STAT:
        pelk_trace("mcu_bsp_sdcard():get file %s stat\n", msg->file_name);
        if (query_name(*this, SD_STAT, msg, block, 4) != PELK_OK) return PELK_ERR_COMMAND;
        msg->size = wire::get32(block);
        return PELK_OK;
    case OP_CHECKSUM:
        pelk_trace("mcu_bsp_sdcard():get file checksum\n");
        if (query_name(*this, SD_CHECKSUM, msg, block, sizeof msg->checksum) != PELK_OK) return PELK_ERR_COMMAND;
        std::memcpy(msg->checksum, block, sizeof msg->checksum);
        return PELK_OK;
    case OP_FORMAT:
        pelk_trace("mcu_bsp_sdcard():mkfs\n");
        return command(cmd::SD_FILE, XFER_EXCHANGE, SD_FORMAT, nullptr, 0);
    }
    return PELK_OK;
}
