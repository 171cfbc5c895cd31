// The file checksum: the payload CRC of the link over the file's bytes,
// zero-padded to a multiple of 4. The file is streamed in 8192-byte blocks;
// only the last block can be short, so padding each block pads the file.
#include <cstdio>
#include <cstring>

#include "pelk_files.h"
#include "trace.h"
#include "transfer.h"
#include "vesk.h"
#include "vesk_platform.h"

int get_nc_file_check(const char* path, uint32_t* out)
{
    std::FILE* f = path ? vplat::open_file(path, "rb") : nullptr;
    if (!f) {
        pelk_trace("open %s fail\n", path ? path : "(null)");
        return PELK_ERR_FILE;
    }
    char block[TRANSFER_CHUNK_MAX];
    unsigned crc = 0;
    for (;;) {
        size_t n = std::fread(block, 1, sizeof block, f);
        if (n == 0) break;
        size_t padded = (n + 3) & ~size_t(3);
        std::memset(block + n, 0, padded - n);
        crc = payload_crc32_update(crc, block, static_cast<int>(padded));
        if (padded != sizeof block) break;
    }
    // A read error part-way would give the checksum of a shorter file.
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        pelk_trace("open %s fail\n", path);
        return PELK_ERR_FILE;
    }
    if (out) *out = crc;
    return PELK_OK;
}

int pelk_file_checksum(const char* path, uint32_t* crc) { return get_nc_file_check(path, crc); }
