// Transfers with progress, and the checks made after them: the card's
// checksum of a file and a read-back of the FPGA flash.
#include <cstdio>
#include <cstring>
#include <vector>

#include "cnc_tasks.h"
#include "transfer.h"
#include "vesk_platform.h"
#include "wire.h"

namespace {

constexpr uint32_t SD_OP_STAT = 7, SD_OP_CHECKSUM = 8;
// The size the card reports for a file it does not have.
constexpr uint32_t NO_FILE = 0xFFFFFFFFu;

// Installs an observer on a board for one transfer.
class observing {
public:
    observing(cnc::board& b, const cnc::transfer_observer& o) : b(b) { b.observe_transfers(o); }
    ~observing() { b.observe_transfers({}); }
    observing(const observing&) = delete;
    observing& operator=(const observing&) = delete;

private:
    cnc::board& b;
};

// 1 when the first size bytes of both files match (a missing tail counts as
// a difference), 0 with *where at the first difference, -1 when either
// cannot be read.
int compare_files(const std::string& a, const std::string& b, uint64_t size, uint64_t* where)
{
    std::FILE* fa = vplat::open_file(a.c_str(), "rb");
    std::FILE* fb = vplat::open_file(b.c_str(), "rb");
    int result = 1;
    if (!fa || !fb) result = -1;
    std::vector<unsigned char> x(65536), y(65536);
    uint64_t at = 0;
    while (result == 1 && at < size) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(x.size(), size - at));
        size_t na = std::fread(x.data(), 1, want, fa);
        size_t nb = std::fread(y.data(), 1, want, fb);
        size_t n = std::min(na, nb);
        size_t i = 0;
        while (i < n && x[i] == y[i]) ++i;
        if (i < n || na != nb || n < want) {
            if (std::ferror(fa) || std::ferror(fb)) result = -1;
            else {
                result = 0;
                *where = at + i;
            }
        }
        at += n;
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return result;
}

}  // namespace

_flash_msg cnc::transfer_request(uint32_t target, uint32_t op, const std::string& file)
{
    _flash_msg m;
    std::memset(&m, 0, sizeof m);
    m.target = target;
    m.op = op;
    std::strncpy(m.file_name, file.c_str(), sizeof m.file_name - 1);
    return m;
}

int cnc::run_transfer(board& b, _flash_msg& msg, const transfer_observer& observer)
{
    observing watch(b, observer);
    switch (msg.target) {
    case FLASH_TARGET_FPGA: return b.mcu_bsp_fpga_flash(&msg);
    case FLASH_TARGET_SDCARD: return b.mcu_bsp_sdcard(&msg);
    case FLASH_TARGET_APP: return b.mcu_bsp_update_app(&msg);
    case FLASH_TARGET_SPINDLE: return b.mcu_bsp_update_spindle(&msg);
    case FLASH_TARGET_DC: return b.mcu_bsp_update_dc(&msg);
    default: return PELK_ERR_RANGE;
    }
}

int cnc::file_checksum(const char* path, uint32_t* crc) { return get_nc_file_check(path, crc); }

int cnc::sd_file_size(board& b, const std::string& name, uint32_t* size, bool* exists)
{
    _flash_msg m = transfer_request(FLASH_TARGET_SDCARD, SD_OP_STAT, name);
    if (int r = b.mcu_bsp_sdcard(&m); r != PELK_OK) return r;
    bool there = m.size != NO_FILE;
    if (exists) *exists = there;
    if (size) *size = there ? m.size : 0;
    return PELK_OK;
}

int cnc::sd_file_checksum(board& b, const std::string& name, uint32_t* crc)
{
    _flash_msg m = transfer_request(FLASH_TARGET_SDCARD, SD_OP_CHECKSUM, name);
    if (int r = b.mcu_bsp_sdcard(&m); r != PELK_OK) return r;
    if (crc) *crc = wire::get32(m.checksum);
    return PELK_OK;
}

int cnc::sd_checksum_matches(board& b, const std::string& name, const std::string& local, bool* same,
                             uint32_t* card_crc, uint32_t* local_crc)
{
    uint32_t mine = 0;
    if (get_nc_file_check(local.c_str(), &mine) != PELK_OK) return PELK_ERR_FILE;
    uint32_t theirs = 0;
    if (int r = sd_file_checksum(b, name, &theirs); r != PELK_OK) return r;
    if (card_crc) *card_crc = theirs;
    if (local_crc) *local_crc = mine;
    if (same) *same = theirs == mine;
    return PELK_OK;
}

int cnc::verify_fpga_image(board& b, const std::string& image, uint64_t size, const std::string& scratch_path,
                           const transfer_observer& observer, bool* same, uint64_t* first_difference)
{
    _flash_msg m = transfer_request(FLASH_TARGET_FPGA, FLASH_OP_READ, scratch_path);
    m.size = static_cast<uint32_t>((size + 3) & ~uint64_t(3));
    if (int r = run_transfer(b, m, observer); r != PELK_OK) return r;
    uint64_t where = 0;
    int c = compare_files(image, scratch_path, size, &where);
    if (c < 0) return PELK_ERR_FILE;
    if (same) *same = c == 1;
    if (first_difference) *first_difference = c == 1 ? size : where;
    return PELK_OK;
}
