// discover and info: which boards answer, and what each says about itself.
#include <cstdio>

#include "commands.h"
#include "exit_codes.h"
#include "output.h"

namespace {

const char* const PRODUCTS[] = {"M81", "M92", "R27", "R28"};
const char* const VARIANTS[] = {"T2_T4", "T15", "T16"};

std::string version_text(unsigned major, unsigned minor) { return std::to_string(major) + "." + std::to_string(minor); }

}  // namespace

int cmd_discover(session& s, const options& o, const args_list&)
{
    std::vector<board_entry> boards;
    int code = s.discover(boards, o.json);
    if (o.json) {
        std::vector<std::string> items;
        for (const auto& b : boards)
            items.push_back(
                json_object().integer("index", b.index).str("machine_id", b.machine_id).str("address", b.address).text());
        std::printf("%s\n", json_array(items).c_str());
        if (code != rc::ok) return fail(code, "no board answered discovery");
        return code;
    }
    if (code != rc::ok) return code;
    std::vector<std::vector<std::string>> rows;
    for (const auto& b : boards)
        rows.push_back({std::to_string(b.index), b.machine_id, b.address.empty() ? "-" : b.address});
    print_table({"index", "machine id", "address"}, rows);
    return rc::ok;
}

int cmd_info(session& s, const options&, const args_list&)
{
    if (s.board.index >= 0) {
        s.put("machine_id", s.board.machine_id);
        s.put("index", std::to_string(s.board.index), std::to_string(s.board.index));
    }
    if (!s.board.address.empty()) s.put("address", s.board.address);

    unsigned int version = 0;
    if (int r = mcu_bsp_get_version(&version); r != PELK_OK) return s.failed(r, "reading the firmware version");
    unsigned product = version >> 24, variant = (version >> 16) & 0x7F;
    unsigned major = (version >> 8) & 0xFF, minor = version & 0xFF;
    if (product >= 4) {
        s.put_number("product_id", product);
        return fail(rc::refused, "invalid product id %u: not a known controller board", product);
    }
    s.put("product", PRODUCTS[product]);
    s.put("variant", variant < 3 ? VARIANTS[variant] : "unknown (" + std::to_string(variant) + ")");
    s.put("firmware", version_text(major, minor));

    int32_t drive = 0;
    if (int r = s.dev->cnc_ar_get_version(&drive); r != PELK_OK) {
        // Boards without a drive unit may not answer; only a lost link fails.
        if (!s.link_alive()) return s.failed(r, "reading the drive firmware version");
        s.put("drive_firmware", "unknown", "null");
    } else {
        uint32_t d = uint32_t(drive);
        s.put("drive_firmware", version_text(d >> 16, d & 0xFFFF));
    }

    unsigned char id[12] = {};
    if (int r = mcu_bsp_get_mcu_id(id, sizeof id); r != PELK_OK) return s.failed(r, "reading the board identifier");
    s.put("board_id", hex_bytes(id, sizeof id));
    return rc::ok;
}
