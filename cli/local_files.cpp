#include "local_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exit_codes.h"
#include "output.h"
#include "pelk_files.h"

int check_name_length(const std::string& path)
{
    if (path.empty()) return fail(rc::usage, "a file name is needed");
    if (path.size() > 255) return fail(rc::local_file, "%s: the name is longer than 255 bytes", path.c_str());
    return rc::ok;
}

int check_source(const std::string& path, uint64_t* size)
{
    if (int code = check_name_length(path); code != rc::ok) return code;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return fail(rc::local_file, "%s: %s", path.c_str(), std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return fail(rc::local_file, "%s: not a regular file", path.c_str());
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(rc::local_file, "%s: %s", path.c_str(), std::strerror(errno));
    std::fclose(f);
    if (st.st_size == 0) return fail(rc::local_file, "%s: the file is empty, nothing to transfer", path.c_str());
    if (uint64_t(st.st_size) > UINT32_MAX) return fail(rc::local_file, "%s: larger than 4 GiB", path.c_str());
    if (size) *size = uint64_t(st.st_size);
    return rc::ok;
}

bool file_checksum(const std::string& path, uint32_t* crc)
{
    // The library's own computation, so both sides of a verification agree.
    return pelk_file_checksum(path.c_str(), crc) == PELK_OK;
}

int compare_files(const std::string& a, const std::string& b, uint64_t n, uint64_t* where)
{
    FILE* fa = std::fopen(a.c_str(), "rb");
    FILE* fb = std::fopen(b.c_str(), "rb");
    int result = 1;
    if (!fa || !fb) result = -1;
    std::vector<unsigned char> ba(65536), bb(65536);
    uint64_t off = 0;
    while (result == 1 && off < n) {
        size_t want = size_t(std::min<uint64_t>(ba.size(), n - off));
        size_t ga = std::fread(ba.data(), 1, want, fa);
        size_t gb = std::fread(bb.data(), 1, want, fb);
        size_t common = std::min(ga, gb);
        for (size_t i = 0; i < common; ++i)
            if (ba[i] != bb[i]) {
                if (where) *where = off + i;
                result = 0;
                break;
            }
        if (result == 1 && (ga < want || gb < want)) {
            // One of them ends early: they differ from there on.
            if (where) *where = off + common;
            result = 0;
        }
        off += want;
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return result;
}

temp_file::temp_file()
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/pelkctl-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd >= 0) {
        ::close(fd);
        path = name.data();
    }
}

temp_file::~temp_file()
{
    if (!path.empty()) ::unlink(path.c_str());
}
