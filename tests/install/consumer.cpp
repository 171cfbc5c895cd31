// Uses both installed libraries: names a version word through the board
// tasks, asks a board object that is not connected for its state, and
// checks the link's frame checksum of a known text.
#include <cstdio>
#include <cstring>

#include <cnc_tasks.h>
#include <pelk.h>
#include <vesk.h>

int main()
{
    cnc::version_info v = cnc::split_version(0x03010207);
    cnc::board b;
    unsigned version = 0;
    const char text[] = "123456789";
    unsigned crc = payload_crc32(text, int(std::strlen(text)));
    bool ok = cnc::product_name(v.product) == "R28" && !b.cnc_dev_state() &&
              b.mcu_bsp_get_version(&version) == PELK_ERR_COMMAND && cnc_dev_register() != nullptr;
    std::printf("pelk consumer: %s %s firmware %s, crc %08x: %s\n", cnc::product_name(v.product).c_str(),
                cnc::variant_name(v.variant).c_str(), cnc::version_text(v.major, v.minor).c_str(), crc,
                ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
