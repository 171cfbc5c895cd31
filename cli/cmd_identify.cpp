// discover and info: which boards answer, and what each says about itself.
#include <cstdio>

#include "cnc_tasks.h"
#include "commands.h"
#include "exit_codes.h"
#include "output.h"


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

    unsigned int word = 0;
    if (int r = s.dev->mcu_bsp_get_version(&word); r != PELK_OK) return s.failed(r, "reading the firmware version");
    cnc::version_info v = cnc::split_version(word);
    if (!cnc::known_product(v.product)) {
        s.put_number("product_id", v.product);
        return fail(rc::refused, "invalid product id %u: not a known controller board", v.product);
    }
    s.put("product", cnc::product_name(v.product));
    s.put("variant", spaced_unknown(cnc::variant_name(v.variant)));
    s.put("firmware", cnc::version_text(v.major, v.minor));

    int32_t drive = 0;
    if (int r = s.dev->cnc_ar_get_version(&drive); r != PELK_OK) {
        // Boards without a drive unit may not answer; only a lost link fails.
        if (!s.link_alive()) return s.failed(r, "reading the drive firmware version");
        s.put("drive_firmware", "unknown", "null");
    } else {
        s.put("drive_firmware", cnc::drive_version_text(uint32_t(drive)));
    }

    unsigned char id[12] = {};
    if (int r = s.dev->mcu_bsp_get_mcu_id(id, sizeof id); r != PELK_OK)
        return s.failed(r, "reading the board identifier");
    s.put("board_id", cnc::hex_text(id, sizeof id));
    return rc::ok;
}
