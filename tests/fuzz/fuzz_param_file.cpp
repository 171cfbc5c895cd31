// "param.txt" reading: arbitrary file contents are written to a temporary
// file and read back as the parameter write does. The values must be the
// pieces of the file as a 128-byte line buffer cuts them (a piece ends after
// a line feed or after 127 bytes), each converted like atof (longest number
// prefix, 0 without one, text after a zero byte ignored) and narrowed to
// single precision; at most 512 values are taken, the rest reported as left
// over, and nothing is written beyond the 2048-byte table.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <unistd.h>

#include "param_file.h"

namespace {

constexpr size_t PIECE_MAX = 127;
constexpr unsigned char FILL = 0xA5;

std::string dir;
std::string path;

// Memory-backed /dev/shm when there is one: every run writes and reads files.
std::string temp_root()
{
    if (access("/dev/shm", W_OK) == 0) return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

void remove_temp()
{
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

// A failed check leaves no files behind (the input is kept by the fuzzer).
void check(bool ok)
{
    if (ok) return;
    remove_temp();
    std::abort();
}

uint32_t le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string tmpl = temp_root() + "/fuzz_param_XXXXXX";
    if (!mkdtemp(tmpl.data())) std::abort();
    dir = tmpl;
    path = dir + "/param.txt";
    std::atexit(remove_temp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::FILE* w = std::fopen(path.c_str(), "wb");
    check(w != nullptr);
    check(std::fwrite(data, 1, size, w) == size);
    check(std::fclose(w) == 0);

    std::unique_ptr<unsigned char[]> table(new unsigned char[PARAM_TABLE_BYTES]);
    std::memset(table.get(), FILL, PARAM_TABLE_BYTES);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    check(f != nullptr);
    bool more = false;
    int count = read_param_values(f, table.get(), &more);
    std::fclose(f);

    // Cut the contents into pieces the same way and convert each one.
    int pieces = 0;
    size_t at = 0;
    while (at < size) {
        size_t n = 0;
        while (n < PIECE_MAX && at + n < size) {
            if (data[at + n++] == '\n') break;
        }
        if (pieces < PARAM_MAX_VALUES) {
            std::string piece(reinterpret_cast<const char*>(data + at), n);
            float want = static_cast<float>(std::strtod(piece.c_str(), nullptr));
            uint32_t want_bits;
            std::memcpy(&want_bits, &want, sizeof want_bits);
            check(count > pieces && le32(table.get() + 4 * pieces) == want_bits);
        }
        ++pieces;
        at += n;
    }
    check(count == (pieces < PARAM_MAX_VALUES ? pieces : PARAM_MAX_VALUES));
    check(more == (pieces > PARAM_MAX_VALUES));
    for (size_t i = 4 * static_cast<size_t>(count); i < PARAM_TABLE_BYTES; ++i) check(table[i] == FILL);
    return 0;
}
