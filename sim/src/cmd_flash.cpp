// The FPGA configuration flash (commands 32 and 33) and direct writes of the
// MCU application (command 9, arguments 1 and 2, and image data).
#include <algorithm>

#include "faults.h"
#include "impl.h"

namespace bsim {

namespace {

// A write the flash cannot hold: declined with an answer the host reports as
// a failure, as the board's flash driver answers an address past its end.
void refuse_write(board::impl& b, const char* why)
{
    b.refuse(why);
    b.answer_failure = true;
}

// Writes data at off into a growing image no larger than limit. A chunk that
// would reach past the end is refused whole: nothing of it is stored.
bool write_at(std::vector<uint8_t>& image, uint32_t off, const std::vector<uint8_t>& data, uint32_t limit)
{
    if (off >= limit || data.size() > limit - off) return false;
    size_t n = data.size();
    if (image.size() < off + n) image.resize(off + n, 0xFF);
    std::copy_n(data.begin(), n, image.begin() + off);
    return true;
}

}  // namespace

void handle_flash(board::impl& b, const request& r, std::vector<uint8_t>& out)
{
    auto& s = b.st;
    if (r.cmd == 33) {
        if (r.payload.empty() || (r.arg != 1 && r.arg != 2)) return b.refuse("malformed FPGA control");
        uint8_t level = r.payload[0] ? 1 : 0;
        if (r.arg == 1) {
            // A rising edge of the reset line restarts the FPGA.
            if (s.per.fpga_reset_line == 0 && level == 1) ++s.per.fpga_resets;
            s.per.fpga_reset_line = level;
        } else {
            s.per.fpga_prog_line = level;
        }
        b.mark(D_SCALARS);
        return;
    }
    if (r.cmd == 32) {
        // While line 2 is high the FPGA owns the flash; the MCU neither
        // erases, writes nor reads it.
        if (s.per.fpga_prog_line != 0) return b.refuse("FPGA flash busy (control line 2 is high)");
        if (r.type == T_EXCHANGE) {
            s.fpga.clear();
            b.log_event("fpga flash erased");
        } else if (r.type == T_WRITE) {
            std::vector<uint8_t> scratch;
            if (!write_at(s.fpga, r.arg, stored_data(b, r, scratch), FPGA_FLASH_SIZE))
                return refuse_write(b, "beyond the flash");
        } else if (r.type == T_READ) {
            read_area(s.fpga, r.arg, r.data_len, out);
            return;
        }
        b.mark(D_FPGA);
        return;
    }
    // Command 9: selectors travel as exchanges, image data as writes.
    if (r.type == T_WRITE) {
        if (!s.app_open) return b.refuse("application data without an open update");
        std::vector<uint8_t> scratch;
        if (!write_at(s.app_staging, r.arg, stored_data(b, r, scratch), MCU_FLASH_SIZE))
            return refuse_write(b, "beyond the application flash");
        return;
    }
    if (r.arg == 1) {
        // Only a board whose firmware reports major version 0 (erased, in its
        // loader) takes an application directly.
        if (s.id.fw_major != 0) return b.refuse("application write while firmware major is not 0");
        s.app_open = true;
        s.app_staging.clear();
        return;
    }
    if (r.arg == 2) {
        bool commit = !r.payload.empty() && r.payload[0] == 1;
        if (commit && s.app_open) {
            s.app = s.app_staging;
            b.log_event("application written, " + std::to_string(s.app.size()) + " bytes");
        } else if (!commit) {
            s.app.clear();
            b.log_event("application erased");
        }
        s.app_open = false;
        s.app_staging.clear();
        b.mark(D_APP);
    }
}

}  // namespace bsim
