// The one chunked transfer routine. A write cuts the local file into chunks
// (8192 bytes for SD card, drive firmware and NC files, else 1024), pads each
// to a multiple of 4 with zeros and sends it with the chunk's offset as the
// argument; a read asks for chunks until the board answers short or `size`
// bytes have come. One exchange per chunk, strictly in order, through one
// fixed chunk buffer.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "board_state.h"
#include "reply_deadlines.h"
#include "trace.h"
#include "transfer.h"
#include "wire.h"
#include "vesk_platform.h"

namespace {

// Board command for each transfer target; 0 for targets that have none.
unsigned char target_command(uint32_t target)
{
    switch (target) {
    case FLASH_TARGET_FPGA: return cmd::FPGA_FLASH;
    case FLASH_TARGET_SDCARD:
    case FLASH_TARGET_SPINDLE:
    case FLASH_TARGET_DC: return cmd::SD_DATA;
    case FLASH_TARGET_APP: return cmd::UPDATE;
    case FLASH_TARGET_NC: return cmd::NC_DATA;
    default: return 0;
    }
}

bool large_chunks(const _flash_msg* msg)
{
    if (msg->op != FLASH_OP_WRITE) return false;
    return msg->target == FLASH_TARGET_SDCARD || msg->target == FLASH_TARGET_SPINDLE ||
           msg->target == FLASH_TARGET_DC || msg->target == FLASH_TARGET_NC;
}

// Drive firmware is staged without touching the caller's progress counter.
bool reports_progress(const _flash_msg* msg)
{
    return msg->progress && msg->target != FLASH_TARGET_SPINDLE && msg->target != FLASH_TARGET_DC;
}

// Offsets travel in the 32-bit argument, so a padded stream must stay below 4 GiB.
constexpr unsigned long long MAX_STREAM = 0xFFFFFFFCull;

}  // namespace

int mcu_update_flash(cnc::board& b, _flash_msg* msg)
{
    if (!msg) return PELK_ERR_FILE;
    const size_t name_len = strnlen(msg->file_name, TRANSFER_NAME_FIELD);
    pelk_trace("mcu_update_flash():%.*s start\n", static_cast<int>(name_len), msg->file_name);
    if (name_len == TRANSFER_NAME_FIELD) {
        // Without a terminator the field is no path; opening it would read past its end.
        pelk_trace("mcu_update_flash():file name not terminated\n");
        return PELK_ERR_FILE;
    }

    const bool writing = msg->op == FLASH_OP_WRITE;
    const size_t chunk_size = large_chunks(msg) ? 8192 : 1024;

    if (msg->check) {
        uint32_t crc = 0;
        int r = get_nc_file_check(msg->file_name, &crc);
        if (r != PELK_OK) {
            pelk_trace("mcu_update_flash():get file checksum fail\n");
            return r;
        }
        wire::put32(msg->checksum, crc);
    }

    std::FILE* f = vplat::open_file(msg->file_name, writing ? "rb" : "wb+");
    if (!f) {
        pelk_trace("mcu_update_flash():open fail\n");
        return PELK_ERR_FILE;
    }

    unsigned long long total;
    unsigned char type;
    if (writing) {
        long long end = -1;
        if (vplat::seek_file(f, 0, SEEK_END) == 0) end = vplat::tell_file(f);
        if (end < 0 || vplat::seek_file(f, 0, SEEK_SET) != 0 || static_cast<unsigned long long>(end) > MAX_STREAM) {
            pelk_trace("mcu_update_flash():file size unusable\n");
            std::fclose(f);
            return PELK_ERR_FILE;
        }
        total = static_cast<unsigned long long>(end);
        type = XFER_WRITE;
    } else {
        total = msg->size;
        type = XFER_READ;
    }
    if (total == 0) {
        std::fclose(f);
        return PELK_ERR_EMPTY;
    }

    const unsigned char command = target_command(msg->target);
    cnc::board::state& st = b.internals();
    const cnc::transfer_observer observer = st.observer();
    unsigned char buf[TRANSFER_CHUNK_MAX];
    // 64 bits so that a read of nearly 4 GiB cannot wrap the count and loop on.
    unsigned long long done = 0;
    while (done < total) {
        unsigned short got = 0;
        const size_t len = static_cast<size_t>(std::min<unsigned long long>(chunk_size, total - done));
        if (writing && std::fread(buf, 1, len, f) != len) {
            // The file shrank or failed under us: stale buffer bytes must not go out as file data.
            pelk_trace("mcu_update_flash():read fail\n");
            std::fclose(f);
            return PELK_ERR_FILE;
        }
        const size_t padded = (len + 3) & ~size_t(3);
        std::memset(buf + len, 0, padded - len);

        int r = b.link().send(command, type, static_cast<unsigned>(done), buf, static_cast<unsigned short>(padded),
                              &got, reply_deadline_ms(command, type, static_cast<unsigned>(done)));
        if (r != 0) {
            pelk_trace("mcu_update_flash():err,%d\n", r);
            std::fclose(f);
            return PELK_ERR_TRANSFER;
        }
        if (!writing) {
            if (got > 0 && std::fwrite(buf, 1, got, f) != got) {
                pelk_trace("mcu_update_flash():write fail\n");
                std::fclose(f);
                return PELK_ERR_FILE;
            }
            if (got != padded) {
                // The board had no more data: what it sent is the whole file.
                if (std::fclose(f) != 0) {
                    pelk_trace("mcu_update_flash():write fail\n");
                    return PELK_ERR_FILE;
                }
                pelk_trace("mcu_update_flash():success,tansfer %d bytes\n", static_cast<int>(done));
                return PELK_OK;
            }
        }
        done += padded;
        // The caller's progress bar reads this counter from another thread.
        if (reports_progress(msg))
            std::atomic_ref<int32_t>(*msg->progress).store(static_cast<int32_t>(done), std::memory_order_relaxed);
        if (observer) observer(std::min<unsigned long long>(done, total), total);
        // Checked between chunks only: the board never holds half a chunk.
        if (done < total && st.stop_requested.exchange(false)) {
            pelk_trace("mcu_update_flash():stopped by the caller after %llu bytes\n", done);
            std::fclose(f);
            return PELK_ERR_TRANSFER;
        }
    }
    // A buffered write that fails only at close would lose the file's tail.
    if (std::fclose(f) != 0 && !writing) {
        pelk_trace("mcu_update_flash():write fail\n");
        return PELK_ERR_FILE;
    }
    pelk_trace("mcu_update_flash():success,tansfer %d bytes\n", static_cast<int>(done));
    return PELK_OK;
}

int cnc::board::mcu_bsp_transfer_stop(int stop)
{
    s->stop_requested.store(stop != 0);
    return PELK_OK;
}
