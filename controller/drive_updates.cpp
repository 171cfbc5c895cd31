// Firmware updates staged on the SD card: the local file is written to the
// card under its own name, then one start command lets the board update the
// unit by itself; the caller polls the board's progress.
#include <cstring>

#include "commands.h"
#include "board_state.h"
#include "trace.h"
#include "transfer.h"
#include "wire.h"

namespace {

// Arguments of the update command.
constexpr unsigned START_BOOT = 4;
constexpr unsigned START_APP = 5;
constexpr unsigned START_SPINDLE = 6;
constexpr unsigned START_DC = 7;
constexpr unsigned READ_PROGRESS = 8;

constexpr unsigned short MAX_NAME_LEN = TRANSFER_NAME_FIELD - 1;

int start_update(cnc::board& b, unsigned which) { return b.command(cmd::UPDATE, XFER_EXCHANGE, which, nullptr, 0); }

int update_drive(cnc::board& b, _flash_msg* msg, uint32_t target, unsigned start)
{
    if (!msg) return PELK_ERR_RANGE;
    msg->target = target;
    msg->op = FLASH_OP_WRITE;
    msg->check = 0;
    int r = b.mcu_bsp_sdcard(msg);
    if (r != PELK_OK) return r;
    return start_update(b, start) == PELK_OK ? PELK_OK : PELK_ERR_COMMAND;
}

// Writes the first len bytes of name to the card as a plain SD file, then
// starts the update. The traces before and after the write belong to the
// boot and application updates only.
int update_from_sd(cnc::board& b, const char* who, const char* name, unsigned short len, unsigned start, const char* before,
                   const char* after)
{
    if (!name) {
        pelk_trace("%s():no file name\n", who);
        return PELK_ERR_RANGE;
    }
    if (len > MAX_NAME_LEN) {
        pelk_trace("%s():name length %d above %d\n", who, len, MAX_NAME_LEN);
        return PELK_ERR_RANGE;
    }
    if (before) pelk_trace("%s", before);
    _flash_msg msg{};
    // A name shorter than len ends at its terminator; nothing past it is read.
    std::memcpy(msg.file_name, name, strnlen(name, len));
    msg.target = FLASH_TARGET_SDCARD;
    msg.op = FLASH_OP_WRITE;
    int r = b.mcu_bsp_sdcard(&msg);
    if (r != PELK_OK) return r;
    if (after) pelk_trace("%s", after);
    return start_update(b, start) == PELK_OK ? PELK_OK : PELK_ERR_COMMAND;
}

}  // namespace

int cnc::board::mcu_bsp_update_spindle(_flash_msg* msg) { return update_drive(*this, msg, FLASH_TARGET_SPINDLE, START_SPINDLE); }

int cnc::board::mcu_bsp_update_dc(_flash_msg* msg) { return update_drive(*this, msg, FLASH_TARGET_DC, START_DC); }

int cnc::board::mcu_bsp_read_progress(int* value)
{
    if (!value) return PELK_ERR_RANGE;
    unsigned char buf[4] = {};
    unsigned short got = 0;
    if (command(cmd::UPDATE, XFER_READ, READ_PROGRESS, buf, sizeof buf, &got) != PELK_OK) return PELK_ERR_COMMAND;
    *value = static_cast<int>(wire::get32(buf));
    return PELK_OK;
}

int cnc::board::mcu_bsp_update_app_from_sd(const char* name, unsigned short len)
{
    return update_from_sd(*this, "mcu_bsp_update_app_from_sd", name, len, START_APP, "write app to sd\n",
                          "start update app\n");
}

int cnc::board::mcu_bsp_update_boot_from_sd(const char* name, unsigned short len)
{
    return update_from_sd(*this, "mcu_bsp_update_boot_from_sd", name, len, START_BOOT, "write boot to sd\n",
                          "start update boot\n");
}

int cnc::board::mcu_bsp_update_dc_from_sd(const char* name, unsigned short len)
{
    return update_from_sd(*this, "mcu_bsp_update_dc_from_sd", name, len, START_DC, nullptr, nullptr);
}

int cnc::board::mcu_bsp_update_rups_from_sd(const char* name, unsigned short len)
{
    return update_from_sd(*this, "mcu_bsp_update_rups_from_sd", name, len, START_SPINDLE, nullptr, nullptr);
}
