#include "transfer_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "test_platform.h"

scratch_dir::scratch_dir()
{
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd)) previous = cwd;
    dir = test_platform::make_temp_dir("pelk_xfer_");
    if (dir.empty() || ::chdir(dir.c_str()) != 0) std::perror("scratch directory");
}

scratch_dir::~scratch_dir()
{
    if (!previous.empty() && ::chdir(previous.c_str()) != 0) std::perror("chdir");
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
}

void write_file(const std::string& path, const bytes& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

void write_text(const std::string& path, const std::string& text) { write_file(path, bytes(text.begin(), text.end())); }

bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

bytes random_bytes(size_t n, uint32_t seed)
{
    std::mt19937 gen(seed);
    bytes b(n);
    for (auto& c : b) c = static_cast<unsigned char>(gen());
    return b;
}

_flash_msg make_msg(uint32_t target, uint32_t op, const std::string& name)
{
    _flash_msg m;
    std::memset(&m, 0, sizeof m);
    m.target = target;
    m.op = op;
    std::snprintf(m.file_name, sizeof m.file_name, "%s", name.c_str());
    return m;
}

bytes name_field(const std::string& name)
{
    bytes b(256, 0);
    std::memcpy(b.data(), name.data(), std::min<size_t>(name.size(), 255));
    return b;
}
