// NC numbering of arbitrary files (long lines, no line feeds, binary, empty).
// The input is the source file; its numbered copy must be the header line
// "(NFL<count>)\r\n" followed by the source's bytes unchanged, where count is
// the number of pieces the source is read in (a piece ends after a line feed
// or after 255 bytes), and the result must be count + 1. An empty source
// gives an empty copy and 0.
//
// The input's first line (up to a line feed or zero byte) also serves as a
// source path for the numbered-name rule: base name after the last '/' (else
// the last '\'), extension replaced by "_N.nc", "_N" before the last dot
// meaning already numbered, and never more than the 256-byte name buffer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "nc_steps.h"
#include "pelk_types.h"
#include "vesk_platform.h"

namespace {

constexpr size_t PIECE_MAX = 255;

std::string dir;
std::string source;  // in a directory of its own, so the copy's name is the base name
int home = -1;       // the fuzzer's own working directory, where it writes its files

// Memory-backed /dev/shm when there is one: every run writes and reads files.
std::string temp_root()
{
    if (access("/dev/shm", W_OK) == 0) return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

void quiet(void*, const char*) {}

void remove_temp()
{
    std::remove(source.c_str());
    std::remove((dir + "/prog_N.nc").c_str());
    rmdir((dir + "/in").c_str());
    rmdir(dir.c_str());
}

// A failed check leaves no files behind (the input is kept by the fuzzer).
void check(bool ok)
{
    if (ok) return;
    if (fchdir(home) != 0) std::_Exit(2);
    remove_temp();
    std::abort();
}

std::string read_file(const char* name, bool* exists)
{
    std::string s;
    std::FILE* f = std::fopen(name, "rb");
    *exists = f != nullptr;
    if (!f) return s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

void check_name_rule(const std::string& path)
{
    std::unique_ptr<char[]> name(new char[NC_NAME_BUFFER]);
    std::memset(name.get(), 0x5A, NC_NAME_BUFFER);
    int r = nc_numbered_name(path.c_str(), name.get());

    size_t slash = path.rfind('/');
    if (slash == std::string::npos) slash = path.rfind('\\');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.size() >= NC_NAME_BUFFER) {
        check(r == PELK_ERR_RANGE);
        return;
    }
    // Whatever the outcome, the buffer holds a terminated name.
    check(std::memchr(name.get(), 0, NC_NAME_BUFFER) != nullptr);
    size_t dot = base.rfind('.');
    if (dot == std::string::npos) {
        check(r == 0 && base == name.get());
    } else if (dot >= 2 && base[dot - 2] == '_' && base[dot - 1] == 'N') {
        check(r == NC_ALREADY_NUMBERED);
    } else if (dot + 6 > NC_NAME_BUFFER) {
        check(r == PELK_ERR_RANGE);
    } else {
        check(r == 1 && base.substr(0, dot) + "_N.nc" == name.get());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vplat::set_debug_sink(quiet, nullptr);
    std::string tmpl = temp_root() + "/fuzz_nc_XXXXXX";
    if (!mkdtemp(tmpl.data())) std::abort();
    dir = tmpl;
    if (mkdir((dir + "/in").c_str(), 0700) != 0) std::abort();
    source = dir + "/in/prog.nc";
    home = open(".", O_RDONLY | O_DIRECTORY);
    if (home < 0) std::abort();
    std::atexit(remove_temp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t first_line = 0;
    while (first_line < size && first_line < 600 && data[first_line] != '\n' && data[first_line] != 0) ++first_line;
    check_name_rule(std::string(reinterpret_cast<const char*>(data), first_line));

    std::FILE* w = std::fopen(source.c_str(), "wb");
    check(w != nullptr);
    check(std::fwrite(data, 1, size, w) == size);
    check(std::fclose(w) == 0);

    // The numbered copy is written to the working directory, which is the
    // temporary one only for the numbering and the look at its result.
    if (chdir(dir.c_str()) != 0) std::abort();
    char name[NC_NAME_BUFFER];
    bool created = false;
    int r = cnc_add_file_line_number(source.c_str(), name, &created);
    check(created && std::strcmp(name, "prog_N.nc") == 0);

    int pieces = 0;
    for (size_t at = 0; at < size; ++pieces) {
        size_t n = 0;
        while (n < PIECE_MAX && at + n < size)
            if (data[at + n++] == '\n') break;
        at += n;
    }

    bool exists = false;
    std::string copy = read_file("prog_N.nc", &exists);
    check(exists);
    std::remove("prog_N.nc");
    check(fchdir(home) == 0);
    if (size == 0) {
        check(r == 0 && copy.empty());
        return 0;
    }
    check(r == pieces + 1);
    std::string header = "(NFL" + std::to_string(pieces) + ")\r\n";
    check(copy.size() == header.size() + size);
    check(copy.compare(0, header.size(), header) == 0);
    check(std::memcmp(copy.data() + header.size(), data, size) == 0);
    return 0;
}
