#include "transfer_safety.h"

#include <cstdio>

#include "cnc_tasks.h"
#include "exit_codes.h"
#include "local_files.h"
#include "output.h"
#include "sd_queries.h"
#include "transfer_common.h"

namespace {

std::string mib(uint64_t n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f MiB", double(n) / (1024.0 * 1024.0));
    return buf;
}

constexpr uint32_t SD_OP_ERASE = 6;

}  // namespace

int check_image(const options& o, pelk::image_target target, const std::string& file, uint64_t* size)
{
    if (int code = check_name_length(file); code != rc::ok) return code;
    pelk::image_check c = pelk::check_image_file(file, target, pelk::ANY_PRODUCT, o.capacity_set ? o.capacity : 0);
    switch (c.verdict) {
    case pelk::image_verdict::ok: break;
    case pelk::image_verdict::unreadable:
        // check_source names the system's reason.
        if (int code = check_source(file, size); code != rc::ok) return code;
        return fail(rc::local_file, "%s", c.message.c_str());
    case pelk::image_verdict::too_large:
        return fail(rc::local_file, "%s; nothing erased or written (--capacity BYTES for another board family)",
                    c.message.c_str());
    case pelk::image_verdict::empty:
    case pelk::image_verdict::text: return fail(rc::local_file, "%s", c.message.c_str());
    }
    if (c.size > UINT32_MAX) return fail(rc::local_file, "%s: larger than 4 GiB", file.c_str());
    if (size) *size = c.size;
    return rc::ok;
}

int transfer_cut(session& s, const std::string& label, const char* target_name, uint64_t done, uint64_t total,
                 const std::string& consequence)
{
    if (done > total) done = total;
    s.put("interrupted", "yes", "true");
    s.put_number("bytes", double(done));
    return fail(rc::interrupted, "%s: interrupted: %s: %s of %s written; %s", label.c_str(), target_name,
                mib(done).c_str(), mib(total).c_str(), consequence.c_str());
}

int sd_holds_same(session& s, const std::string& file, uint64_t size, bool* same)
{
    *same = false;
    uint32_t held = 0;
    bool exists = false;
    if (int code = sd_file_size(s, file, &held, &exists); code != rc::ok) return code;
    // The card keeps the file padded to a multiple of 4.
    if (!exists || held != ((size + 3) & ~uint64_t(3))) return rc::ok;
    int r = cnc::sd_checksum_matches(*s.dev, file, file, same);
    if (r == PELK_ERR_FILE) return fail(rc::local_file, "%s: cannot be read", file.c_str());
    if (r != PELK_OK) return s.failed(r, "sd put --skip-same: reading the checksum");
    return rc::ok;
}

bool sd_remove_partial(session& s, const std::string& name)
{
    _flash_msg m = cnc::transfer_request(FLASH_TARGET_SDCARD, SD_OP_ERASE, name);
    return s.dev->mcu_bsp_sdcard(&m) == PELK_OK;
}
