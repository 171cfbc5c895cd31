// Starting an NC program: number a copy of the source, compare it with the
// board's SD copy, announce the job with its start line, download the file
// when the board's copy differs, and remove the local numbered copy. After a
// failure the numbered copy is left in place.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "commands.h"
#include "board_state.h"
#include "nc_steps.h"
#include "trace.h"
#include "transfer.h"
#include "vesk_platform.h"
#include "wire.h"

namespace {

constexpr unsigned START_PAUSE_MS = 200;
// The start block holds the name and its terminator behind 8 bytes of header.
constexpr size_t START_NAME_MAX = sizeof(nc_start_block) - 8 - 1;

int sd_query(cnc::board& b, const char* name, uint32_t op, _flash_msg* msg)
{
    *msg = _flash_msg{};
    msg->target = FLASH_TARGET_SDCARD;
    msg->op = op;
    std::memcpy(msg->file_name, name, std::strlen(name) + 1);
    return b.mcu_bsp_sdcard(msg);
}

int send_start_block(cnc::board& b, uint32_t start_line, const char* name)
{
    unsigned char block[sizeof(nc_start_block)] = {};
    const size_t n = std::strlen(name);
    wire::put32(block, static_cast<uint32_t>(std::time(nullptr)));
    wire::put32(block + 4, start_line);
    std::memcpy(block + 8, name, n);
    return b.command(cmd::MACHINE, XFER_EXCHANGE, machine::START_NC, block, static_cast<unsigned short>(9 + n));
}

}  // namespace

uint32_t get_nc_file_size(const char* name)
{
    std::FILE* f = vplat::open_file(name, "rb");
    if (!f) {
        pelk_trace("open %s fail\n", name);
        return 0;
    }
    long long end = -1;
    if (vplat::seek_file(f, 0, SEEK_END) == 0) end = vplat::tell_file(f);
    std::fclose(f);
    if (end <= 0) return 0;
    // The announced size is 32-bit: a longer file cannot be described and
    // must not pass for a short one.
    if (static_cast<unsigned long long>(end) > 0xFFFFFFFCull) {
        pelk_trace("%s is too long\n", name);
        return 0;
    }
    return static_cast<uint32_t>((static_cast<unsigned long long>(end) + 3) & ~3ull);
}

int cnc_start_check_nc_file(cnc::board& b, const char* name, uint8_t check, int* match)
{
    pelk_trace("start check file\n");
    _flash_msg msg;
    bool same;
    if (check) {
        uint32_t crc = 0;
        if (get_nc_file_check(name, &crc) != PELK_OK) {
            pelk_trace("get_nc_file_check(): fail\n");
            return PELK_ERR_FILE;
        }
        unsigned char local[sizeof msg.checksum] = {};
        wire::put32(local, crc);
        // The query's own result is not consulted: a failed query leaves the
        // zeroed field, which differs from any local field but the empty
        // file's, and the download follows.
        sd_query(b, name, 8, &msg);
        pelk_trace("start cmp file checksum\n");
        // All 32 bytes: a comparison that stopped at the first zero byte would
        // take two different programs for the same one whenever both fields
        // hold a zero byte at the same place.
        same = std::memcmp(local, msg.checksum, sizeof local) == 0;
    } else {
        const uint32_t local_size = get_nc_file_size(name);
        same = sd_query(b, name, 7, &msg) == PELK_OK && msg.size == local_size;
    }
    if (same) {
        *match = 1;
        pelk_trace("file match.\n");
        return PELK_OK;
    }
    *match = 0;
    pelk_trace("file not match.\n");
    sd_query(b, name, 6, &msg);
    pelk_trace("delete file.\n");
    return PELK_OK;
}

int cnc_start_write_nc_file(cnc::board& b, const char* name)
{
    pelk_trace("start write file\n");
    _flash_msg msg{};
    msg.target = FLASH_TARGET_NC;
    msg.op = FLASH_OP_WRITE;
    std::memcpy(msg.file_name, name, std::strlen(name) + 1);
    if (mcu_update_flash(b, &msg) != PELK_OK) {
        pelk_trace("write file fail.\n");
        return PELK_ERR_FILE;
    }
    pelk_trace("write file success.\n");
    return PELK_OK;
}

int cnc::board::cnc_start_nc_file(uint32_t start_line, char* path, uint8_t check)
{
    pelk_trace("start parser file %s from %d lines\n", path ? path : "(null)", static_cast<int>(start_line));
    if (!path) return PELK_ERR_RANGE;

    // Names that do not fit the fields they travel in are refused before
    // anything is written or sent: the numbered name (start block) and, for a
    // source already numbered, the source path itself (SD name block).
    char name[NC_NAME_BUFFER] = {};
    const int kind = nc_numbered_name(path, name);
    if (kind == PELK_ERR_RANGE || std::strlen(name) > START_NAME_MAX) {
        pelk_trace("cnc_start_nc_file():file name of %s does not fit %d bytes\n", path,
                   static_cast<int>(START_NAME_MAX));
        return PELK_ERR_RANGE;
    }
    if (kind == NC_ALREADY_NUMBERED && std::strlen(path) >= TRANSFER_NAME_FIELD) {
        pelk_trace("cnc_start_nc_file():path %s does not fit %d bytes\n", path,
                   static_cast<int>(TRANSFER_NAME_FIELD - 1));
        return PELK_ERR_RANGE;
    }

    bool created = false;
    int r = cnc_add_file_line_number(path, name, &created);
    const bool numbered = r == NC_ALREADY_NUMBERED;
    if (r < 0 && !numbered) {
        pelk_trace("cnc_add_file_line_number():convert fail\n");
        return r;
    }
    pelk_trace("new file name %s.\n", name);

    const char* file = numbered ? path : name;
    int match = 0;
    r = cnc_start_check_nc_file(*this, file, check, &match);
    if (r < 0) {
        pelk_trace("cnc_start_check_nc_file():check fail\n");
        return r;
    }

    if (send_start_block(*this, start_line, name) != PELK_OK) return PELK_ERR_COMMAND;
    vplat::sleep_ms(START_PAUSE_MS);

    if (!match) {
        r = cnc_start_write_nc_file(*this, file);
        if (r < 0) {
            pelk_trace("cnc_start_write_nc_file():write fail\n");
            return r;
        }
    }
    if (created) vplat::remove_file(name);
    return PELK_OK;
}
