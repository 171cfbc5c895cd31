// The SD card: files kept as real files under <state>/sd, file commands
// (command 21), file data by offset (command 20), and updates staged on the
// card with their progress counter (command 9, arguments 4 to 8).
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "impl.h"
#include "vesk.h"

namespace fs = std::filesystem;

namespace bsim {

namespace {

enum sd_op : uint32_t {
    SD_CREATE = 1, SD_OPEN = 2, SD_CLOSE = 4, SD_ERASE = 8,
    SD_STAT = 128, SD_VERIFY = 256, SD_CHECKSUM = 512, SD_FORMAT = 2048,
};

void refuse(board::impl& b, const std::string& why)
{
    ++b.cnt.refused;
    b.trace("   refused: " + why);
}

uint64_t file_size(const std::string& path, bool* exists)
{
    std::error_code ec;
    auto n = fs::file_size(path, ec);
    if (exists) *exists = !ec;
    return ec ? 0 : n;
}

}  // namespace

void write_file_at(const std::string& path, uint32_t off, const std::vector<uint8_t>& data)
{
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!f) {
        std::ofstream create(path, std::ios::binary);
        create.close();
        f.open(path, std::ios::in | std::ios::out | std::ios::binary);
    }
    f.seekp(off);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

void read_file_at(const std::string& path, uint32_t off, uint32_t want, std::vector<uint8_t>& out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return;
    f.seekg(off);
    if (!f) return;
    out.resize(want);
    f.read(reinterpret_cast<char*>(out.data()), want);
    out.resize(size_t(f.gcount()));
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
    fs::create_directories(b.sd_dir(), ec);
    if (r.cmd == 20) {
        if (!sd.open) return refuse(b, "file data without an open file");
        std::string path = b.sd_file(sd.open_name);
        if (r.type == T_READ)
            read_file_at(path, r.arg, r.data_len, out);
        else
            write_file_at(path, r.arg, r.payload);
        return;
    }
    if (r.arg == SD_FORMAT) {
        fs::remove_all(b.sd_dir(), ec);
        fs::create_directories(b.sd_dir(), ec);
        sd = sd_state{};
        b.log_event("card formatted");
        return;
    }
    if (r.arg == SD_VERIFY) {
        if (!sd.open || r.payload.size() < 4) return refuse(b, "checksum without an open file");
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
    if (name.empty()) return refuse(b, "bad SD file name");
    std::string path = b.sd_file(name);
    bool exists = false;
    switch (r.arg) {
    case SD_CREATE: {
        fs::create_directories(fs::path(path).parent_path(), ec);
        std::ofstream create(path, std::ios::binary | std::ios::trunc);
        if (!create) return refuse(b, "cannot create " + name);
        sd.open = true;
        sd.open_name = name;
        break;
    }
    case SD_OPEN:
        file_size(path, &exists);
        if (!exists) return refuse(b, "no file " + name);
        sd.open = true;
        sd.open_name = name;
        break;
    case SD_CLOSE:
        sd.open = false;
        sd.last_closed = name;
        break;
    case SD_ERASE:
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
    default: refuse(b, "unknown SD operation " + std::to_string(r.arg));
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
