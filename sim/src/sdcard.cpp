// The SD card: files kept as real files under <state>/sd, file commands
// (command 21), file data by offset (command 20), and updates staged on the
// card with their progress counter (command 9, arguments 4 to 8).
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "faults.h"
#include "impl.h"
#include "vesk.h"

namespace fs = std::filesystem;

namespace bsim {

namespace {

enum sd_op : uint32_t {
    SD_CREATE = 1, SD_OPEN = 2, SD_CLOSE = 4, SD_ERASE = 8,
    SD_STAT = 128, SD_VERIFY = 256, SD_CHECKSUM = 512, SD_FORMAT = 2048,
};

uint64_t file_size(const std::string& path, bool* exists)
{
    std::error_code ec;
    auto n = fs::file_size(path, ec);
    if (exists) *exists = !ec;
    return ec ? 0 : n;
}


// Writes all of data at off; false when the file refused some of it. The
// bytes reach the file at once, since other paths read it by name.
bool pwrite_all(std::FILE* f, const uint8_t* data, size_t n, uint64_t off)
{
    if (vplat::seek_file(f, static_cast<long long>(off), SEEK_SET) != 0) return false;
    bool ok = std::fwrite(data, 1, n, f) == n;
    return std::fflush(f) == 0 && ok;
}

// Reads up to want bytes at off into out; fewer at the end of the file.
void pread_some(std::FILE* f, uint64_t off, uint32_t want, std::vector<uint8_t>& out)
{
    out.resize(want);
    size_t got = 0;
    if (vplat::seek_file(f, static_cast<long long>(off), SEEK_SET) == 0) got = std::fread(out.data(), 1, want, f);
    out.resize(got);
}

// Opens for reading and writing without truncating; creates the file when
// asked and it is missing.
std::FILE* open_rw(const std::string& path, bool create)
{
    std::FILE* f = vplat::open_file(path.c_str(), "r+b");
    if (f == nullptr && create) f = vplat::open_file(path.c_str(), "w+b");
    return f;
}

// The kept file for data frames, opened on first use. A write creates the
// file when it is missing (an erase may have removed it since the open).
std::FILE* sd_data_file(board::impl& b, bool for_write)
{
    if (b.sd_fp == nullptr) b.sd_fp = open_rw(b.sd_file(b.st.sd.open_name), for_write);
    return b.sd_fp;
}

}  // namespace

void sd_close_file(board::impl& b)
{
    if (b.sd_fp) std::fclose(b.sd_fp);
    b.sd_fp = nullptr;
}

// Path-based variants for files other than the kept one (NC job files,
// staged update images): one open per call.
bool write_file_at(const std::string& path, uint32_t off, const std::vector<uint8_t>& data)
{
    std::FILE* f = open_rw(path, true);
    if (f == nullptr) return false;
    bool ok = pwrite_all(f, data.data(), data.size(), off);
    return std::fclose(f) == 0 && ok;
}

void read_file_at(const std::string& path, uint32_t off, uint32_t want, std::vector<uint8_t>& out)
{
    std::FILE* f = vplat::open_file(path.c_str(), "rb");
    if (f == nullptr) return;
    pread_some(f, off, want, out);
    std::fclose(f);
}

// The name field is a NUL-terminated path. Drive prefixes and leading
// slashes are dropped; names that climb out of the card are refused (empty).
std::string sd_name(const std::vector<uint8_t>& field)
{
    std::string n;
    for (uint8_t c : field) {
        if (c < 0x20 || n.size() >= 255) break;  // a control byte ends the name as NUL does
        n += c == '\\' ? '/' : char(c);
    }
    if (n.size() >= 2 && n[1] == ':') n.erase(0, 2);
    while (!n.empty() && n[0] == '/') n.erase(0, 1);
    for (const auto& part : fs::path(n))
        if (part == "..") return {};
    return n;
}

std::string board::impl::sd_file(const std::string& name) const { return sd_dir() + "/" + name; }

// CRC of the file padded with zeros to a multiple of 4, as hosts compute it.
uint32_t sd_file_checksum(const std::string& path, bool* exists)
{
    std::ifstream f(path, std::ios::binary);
    if (exists) *exists = bool(f);
    uint32_t crc = 0;
    std::vector<char> block(8192);
    while (f) {
        f.read(block.data(), std::streamsize(block.size()));
        auto n = size_t(f.gcount());
        if (n == 0) break;
        while (n % 4) block[n++] = 0;
        crc = payload_crc32_update(crc, block.data(), int(n));
    }
    return crc;
}

void handle_sdcard(board::impl& b, const request& r, std::vector<uint8_t>& out)
{
    auto& sd = b.st.sd;
    std::error_code ec;
    if (r.cmd == 20) {
        if (!sd.open) return b.refuse("file data without an open file");
        bool write = r.type != T_READ;
        std::FILE* f = sd_data_file(b, write);
        if (f == nullptr) return;
        if (write) {
            std::vector<uint8_t> scratch;
            const auto& data = stored_data(b, r, scratch);
            pwrite_all(f, data.data(), data.size(), r.arg);
        }
        else
            pread_some(f, r.arg, std::min(r.data_len, MAX_PAYLOAD), out);  // a reply holds no more
        return;
    }
    if (r.arg == SD_FORMAT) {
        sd_close_file(b);
        fs::remove_all(b.sd_dir(), ec);
        fs::create_directories(b.sd_dir(), ec);
        sd = sd_state{};
        b.log_event("card formatted");
        return;
    }
    if (r.arg == SD_VERIFY) {
        if (!sd.open || r.payload.size() < 4) return b.refuse("checksum without an open file");
        uint32_t mine = sd_file_checksum(b.sd_file(sd.open_name), nullptr);
        uint32_t theirs = get32(r.payload.data());
        if (mine == theirs) {
            ++b.cnt.checksum_ok;
        } else {
            ++b.cnt.checksum_failed;
            char text[160];
            std::snprintf(text, sizeof text, "checksum mismatch on %s: card %08x, host %08x", sd.open_name.c_str(),
                          mine, theirs);
            b.log_event(text);
            b.trace(std::string("   ") + text);
        }
        return;
    }
    std::string name = sd_name(r.payload);
    if (name.empty()) return b.refuse("bad SD file name");
    std::string path = b.sd_file(name);
    bool exists = false;
    switch (r.arg) {
    case SD_CREATE: {
        // Directories are made here only, not per data frame.
        fs::create_directories(fs::path(path).parent_path(), ec);
        sd_close_file(b);
        std::FILE* f = vplat::open_file(path.c_str(), "w+b");
        if (f == nullptr) return b.refuse("cannot create " + name);
        b.sd_fp = f;
        sd.open = true;
        sd.open_name = name;
        break;
    }
    case SD_OPEN:
        file_size(path, &exists);
        if (!exists) return b.refuse("no file " + name);
        sd_close_file(b);  // the first data frame opens the new file
        sd.open = true;
        sd.open_name = name;
        break;
    case SD_CLOSE:
        sd_close_file(b);
        sd.open = false;
        sd.last_closed = name;
        break;
    case SD_ERASE:
        // The kept file may be this one under another spelling of its
        // name; it is opened again by path when still needed.
        sd_close_file(b);
        fs::remove(path, ec);
        if (sd.open && sd.open_name == name) sd.open = false;
        break;
    case SD_STAT: {
        uint64_t n = file_size(path, &exists);
        out.resize(4);
        put32(out.data(), exists ? uint32_t(n) : 0xFFFFFFFFu);
        break;
    }
    case SD_CHECKSUM: {
        // A missing file answers all 0xFF, which never equals a host checksum.
        uint32_t crc = sd_file_checksum(path, &exists);
        out.assign(32, exists ? 0 : 0xFF);
        if (exists) put32(out.data(), crc);
        break;
    }
    default: b.refuse("unknown SD operation " + std::to_string(r.arg));
    }
}

// Updates run from the file closed last; their progress counter advances in
// machine_tick until it reaches the file's size.
void handle_update(board::impl& b, const request& r, std::vector<uint8_t>& out)
{
    auto& u = b.st.upd;
    if (r.arg == 8) {
        int32_t progress = u.failed ? -1 : int32_t(std::min<double>(u.done, u.size));
        out.resize(4);
        put32(out.data(), uint32_t(progress));
        if (r.data_len < 4) out.resize(r.data_len);
        return;
    }
    static const char* names[] = {"", "", "", "", "boot loader", "application", "spindle drive", "dc drive"};
    u = update_state{};
    u.kind = int(r.arg);
    u.file = b.st.sd.last_closed;
    bool exists = false;
    uint64_t n = u.file.empty() ? 0 : file_size(b.sd_file(u.file), &exists);
    if (!exists || n == 0) {
        u.failed = true;
        b.log_event(std::string(names[r.arg]) + " update: no staged file");
        return;
    }
    u.size = uint32_t(n);
    b.log_event(std::string(names[r.arg]) + " update from " + u.file + " started");
}

}  // namespace bsim
