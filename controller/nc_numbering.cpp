// The numbered copy of an NC program: a header line with the program's line
// count, then the source unchanged. The source is read twice (count, copy) in
// pieces of at most 255 bytes that end after a line feed, so a line longer
// than 255 bytes counts once per piece.
#include <cstdio>
#include <cstring>

#include "nc_steps.h"
#include "pelk_types.h"
#include "trace.h"
#include "vesk_platform.h"

namespace {

constexpr char NUMBERED_SUFFIX[] = "_N.nc";
constexpr size_t PIECE_BUFFER = 256;

// Reads one piece into buf (at most PIECE_BUFFER - 1 bytes, ending after a
// line feed); returns its length, 0 at the end of the file. Works on bytes,
// so zero bytes in the source are copied like any other.
size_t read_piece(std::FILE* f, char* buf)
{
    size_t n = 0;
    while (n < PIECE_BUFFER - 1) {
        int c = std::getc(f);
        if (c == EOF) break;
        buf[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    return n;
}

const char* base_name(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    if (slash) return slash + 1;
    const char* backslash = std::strrchr(path, '\\');
    if (backslash) return backslash + 1;
    return path;
}

}  // namespace

int nc_numbered_name(const char* source_path, char* name)
{
    const char* base = base_name(source_path);
    const size_t base_len = std::strlen(base);
    if (base_len >= NC_NAME_BUFFER) return PELK_ERR_RANGE;
    std::memcpy(name, base, base_len + 1);
    char* dot = std::strrchr(name, '.');
    if (!dot) return 0;
    if (dot - name >= 2 && dot[-2] == '_' && dot[-1] == 'N') return NC_ALREADY_NUMBERED;
    const size_t stem = static_cast<size_t>(dot - name);
    if (stem + sizeof NUMBERED_SUFFIX > NC_NAME_BUFFER) {
        *dot = '\0';
        return PELK_ERR_RANGE;
    }
    std::memcpy(dot, NUMBERED_SUFFIX, sizeof NUMBERED_SUFFIX);
    return 1;
}

int cnc_add_file_line_number(const char* source_path, char* name, bool* created)
{
    *created = false;
    pelk_trace("start convert file\n");
    if (!source_path) return 0;
    int r = nc_numbered_name(source_path, name);
    if (r == PELK_ERR_RANGE) {
        pelk_trace("cnc_add_file_line_number():name of %s does not fit %d bytes\n", source_path,
                   static_cast<int>(NC_NAME_BUFFER));
        return PELK_ERR_RANGE;
    }
    if (r <= 0) return r;

    std::FILE* in = vplat::open_file(source_path, "rb");
    if (!in) {
        pelk_trace("open file %s failed....\n", source_path);
        return 0;
    }
    std::FILE* out = vplat::open_file(name, "wb");
    if (!out) {
        pelk_trace("open file %s failed....\n", name);
        std::fclose(in);
        return 0;
    }
    *created = true;

    char piece[PIECE_BUFFER];
    int count = 0;
    while (read_piece(in, piece) > 0) ++count;
    bool ok = std::ferror(in) == 0;
    std::rewind(in);

    bool first = true;
    size_t n;
    while (ok && (n = read_piece(in, piece)) > 0) {
        if (first && std::fprintf(out, "(NFL%d)\r\n", count) < 0) ok = false;
        first = false;
        if (std::fwrite(piece, 1, n, out) != n) ok = false;
    }
    if (std::ferror(in)) ok = false;
    std::fclose(in);
    if (std::fclose(out) != 0) ok = false;
    if (!ok) {
        // A copy cut short would go to the board as the whole program.
        pelk_trace("write file %s failed....\n", name);
        return PELK_ERR_FILE;
    }
    return count == 0 ? 0 : count + 1;
}
