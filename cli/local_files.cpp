#include "local_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exit_codes.h"
#include "output.h"

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
