#include "sd_queries.h"

#include "exit_codes.h"
#include "local_files.h"
#include "output.h"
#include "transfer_common.h"

namespace {
constexpr uint32_t SD_OP_STAT = 7, SD_OP_CHECKSUM = 8;
// The size the card reports for a file it does not have.
constexpr uint32_t NO_FILE = 0xFFFFFFFFu;

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
}  // namespace

int sd_file_size(session& s, const std::string& name, uint32_t* size, bool* exists)
{
    _flash_msg m = make_request(FLASH_TARGET_SDCARD, SD_OP_STAT, name);
    if (int r = mcu_bsp_sdcard(&m); r != PELK_OK) return s.failed(r, ("asking the card about " + name).c_str());
    *exists = m.size != NO_FILE;
    *size = *exists ? m.size : 0;
    return rc::ok;
}

int sd_verify_checksum(session& s, const std::string& name, const std::string& local, const char* what)
{
    uint32_t mine = 0;
    if (!file_checksum(local, &mine)) return fail(rc::local_file, "%s: cannot read %s", what, local.c_str());
    _flash_msg m = make_request(FLASH_TARGET_SDCARD, SD_OP_CHECKSUM, name);
    if (int r = mcu_bsp_sdcard(&m); r != PELK_OK) {
        if (!s.link_alive()) return s.failed(r, what);
        return fail(rc::verify, "%s: the card gave no checksum of %s, so the copy is not confirmed; check it with "
                    "`pelkctl sd stat %s` or copy it again", what, name.c_str(), name.c_str());
    }
    uint32_t theirs = le32(m.checksum);
    if (theirs != mine)
        return fail(rc::verify, "%s: the card's checksum of %s is %08x, the local file's %08x", what, name.c_str(),
                    theirs, mine);
    return rc::ok;
}
