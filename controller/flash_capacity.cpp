#include "flash_capacity.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace pelk {

namespace {

constexpr uint64_t MiB = 1024 * 1024;

// Offsets travel in the 32-bit argument of a chunk, so no file on the card
// can be larger than this, padded to a multiple of 4 (the transfer's limit).
constexpr uint64_t SD_STREAM_LIMIT = 0xFFFFFFFCull;

const std::vector<capacity_entry> table = {
    {image_target::fpga, ANY_PRODUCT, 16 * MiB, true, "FPGA flash",
     "the FPGA configuration flash: a 128-Mbit serial flash on every product"},
    {image_target::mcu_app, ANY_PRODUCT, 1 * MiB, true, "MCU application",
     "the MCU's 1 MiB program flash; the application cannot be larger than the whole flash"},
    {image_target::boot, ANY_PRODUCT, 1 * MiB, true, "boot program",
     "the boot program lives in the same 1 MiB MCU program flash"},
    {image_target::spindle_drive, ANY_PRODUCT, 1 * MiB, true, "spindle drive firmware",
     "the drive controllers are smaller MCUs than the board's own; 1 MiB bounds every drive image with room"},
    {image_target::dc_drive, ANY_PRODUCT, 1 * MiB, true, "dc drive firmware",
     "as the spindle drive"},
    {image_target::sd_file, ANY_PRODUCT, SD_STREAM_LIMIT, false, "SD card file",
     "no fixed card size; chunk offsets are 32-bit, so a file stays below 4 GiB"},
};

std::string size_text(uint64_t n)
{
    char buf[64];
    if (n >= MiB && n % MiB == 0)
        std::snprintf(buf, sizeof buf, "%llu MiB", static_cast<unsigned long long>(n / MiB));
    else if (n >= MiB)
        std::snprintf(buf, sizeof buf, "%llu bytes (%.2f MiB)", static_cast<unsigned long long>(n),
                      double(n) / double(MiB));
    else
        std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(n));
    return buf;
}

bool gcode_line(const unsigned char* p, size_t n)
{
    size_t i = 0;
    while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
    if (i == n) return false;
    unsigned char c = p[i];
    if (c == '%' || c == '(' || c == ';') return true;
    c = static_cast<unsigned char>(std::toupper(c));
    if (!std::strchr("GMNTFSXYZABCIJKOPRUVW$", c)) return false;
    if (c == '$') return true;
    if (i + 1 >= n) return false;
    unsigned char d = p[i + 1];
    return std::isdigit(d) || d == '-' || d == '+' || d == '.' || d == ' ';
}

}  // namespace

const std::vector<capacity_entry>& capacity_table() { return table; }

const capacity_entry& capacity_of(image_target target, int product)
{
    const capacity_entry* any = nullptr;
    for (const auto& e : table) {
        if (e.target != target) continue;
        if (e.product == product && product != ANY_PRODUCT) return e;
        if (e.product == ANY_PRODUCT && !any) any = &e;
    }
    // Every target has an ANY_PRODUCT row.
    return any ? *any : table.back();
}

bool looks_like_text(const unsigned char* data, size_t n)
{
    size_t i = 0;
    while (i < n) {
        unsigned char c = data[i];
        if (c == '\t' || c == '\n' || c == '\r' || c == '\f' || (c >= 0x20 && c < 0x7F)) {
            ++i;
            continue;
        }
        // A UTF-8 sequence of 2 to 4 bytes; anything else is binary.
        int more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0 || c == 0xC0 || c == 0xC1) return false;
        if (i + size_t(more) >= n) return true;  // cut at the end: judged by what came before
        for (int k = 1; k <= more; ++k)
            if ((data[i + size_t(k)] & 0xC0) != 0x80) return false;
        i += size_t(more) + 1;
    }
    return true;
}

bool looks_like_gcode(const unsigned char* data, size_t n)
{
    int lines = 0, words = 0;
    size_t start = 0;
    for (size_t i = 0; i <= n && lines < 40; ++i) {
        if (i < n && data[i] != '\n') continue;
        size_t len = i - start;
        bool blank = true;
        for (size_t k = start; k < i; ++k)
            if (!std::isspace(data[k])) blank = false;
        if (!blank) {
            ++lines;
            if (gcode_line(data + start, len)) ++words;
        }
        start = i + 1;
    }
    return lines > 0 && words * 2 >= lines;
}

image_check check_image_file(const std::string& path, image_target target, int product, uint64_t capacity)
{
    image_check out;
    const capacity_entry& e = capacity_of(target, product);
    out.capacity = capacity ? capacity : e.bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        out.verdict = image_verdict::unreadable;
        out.message = path + ": cannot be read";
        return out;
    }
    long long end = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) end = std::ftell(f);
    if (end < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        out.verdict = image_verdict::unreadable;
        out.message = path + ": cannot be read";
        return out;
    }
    out.size = uint64_t(end);
    if (out.size == 0) {
        std::fclose(f);
        out.verdict = image_verdict::empty;
        out.message = path + ": the file is empty, nothing to write";
        return out;
    }
    // The board stores the file padded to a multiple of 4.
    if (((out.size + 3) & ~uint64_t(3)) > out.capacity) {
        std::fclose(f);
        out.verdict = image_verdict::too_large;
        out.message = path + ": " + size_text(out.size) + " is more than the " + e.name + " holds (" +
                      size_text(out.capacity) + ")";
        return out;
    }
    if (!e.firmware) {
        std::fclose(f);
        return out;
    }
    // Images are at most a few MiB here: read in one piece, so that a UTF-8
    // sequence is never judged across a block boundary. A capacity raised
    // with an override could be far larger; 16 MiB of text is text enough.
    constexpr uint64_t TEXT_SCAN_LIMIT = 16 * MiB;
    std::vector<unsigned char> data(size_t(std::min(out.size, TEXT_SCAN_LIMIT)));
    bool read_ok = std::fread(data.data(), 1, data.size(), f) == data.size();
    std::fclose(f);
    if (!read_ok) {
        out.verdict = image_verdict::unreadable;
        out.message = path + ": cannot be read";
        return out;
    }
    if (looks_like_text(data.data(), data.size())) {
        out.verdict = image_verdict::text;
        out.gcode = looks_like_gcode(data.data(), data.size());
        out.message = path + (out.gcode ? ": reads as a G-code program" : ": holds only text") + ", not " +
                      std::string(e.name) + " (images are binary); nothing written";
    }
    return out;
}

}  // namespace pelk
