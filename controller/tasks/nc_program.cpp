// What a technician needs to know of an NC program before it runs: its size,
// its lines and the name the board runs it under.
#include "cnc_tasks.h"
#include "nc_steps.h"
#include "vesk_platform.h"

int cnc::inspect_nc_program(const std::string& path, nc_program_info* info)
{
    std::FILE* f = vplat::open_file(path.c_str(), "rb");
    if (!f) return PELK_ERR_FILE;
    std::vector<char> block(1 << 16);
    uint64_t size = 0;
    uint32_t lines = 0;
    char last = '\n';
    for (;;) {
        size_t n = std::fread(block.data(), 1, block.size(), f);
        if (n == 0) break;
        size += n;
        for (size_t i = 0; i < n; ++i) lines += block[i] == '\n';
        last = block[n - 1];
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return PELK_ERR_FILE;
    if (last != '\n') ++lines;
    if (info) {
        info->size = size;
        info->lines = lines;
    }
    return PELK_OK;
}

std::string cnc::numbered_program_name(const std::string& path)
{
    char name[NC_NAME_BUFFER] = {};
    int kind = nc_numbered_name(path.c_str(), name);
    if (kind == NC_ALREADY_NUMBERED) return path;
    if (kind < 0) return "";
    return name;
}
