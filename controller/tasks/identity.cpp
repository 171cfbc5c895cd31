// Naming what a board says about itself.
#include <cstdio>

#include "cnc_tasks.h"

namespace {

const char* const PRODUCTS[] = {"M81", "M92", "R27", "R28"};
const char* const VARIANTS[] = {"T2_T4", "T15", "T16"};
constexpr unsigned PRODUCT_COUNT = 4;
constexpr unsigned VARIANT_COUNT = 3;

// Numbers as text without std::to_string, whose digit table is a unique
// symbol: one in the library would keep dlclose from ever unloading it.
std::string decimal(unsigned n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", n);
    return buf;
}

}  // namespace

cnc::version_info cnc::split_version(uint32_t word)
{
    version_info v;
    v.word = word;
    v.product = word >> 24;
    v.variant = (word >> 16) & 0x7F;
    v.major = (word >> 8) & 0xFF;
    v.minor = word & 0xFF;
    return v;
}

bool cnc::known_product(unsigned product) { return product < PRODUCT_COUNT; }

std::string cnc::product_name(unsigned product)
{
    return product < PRODUCT_COUNT ? PRODUCTS[product] : "unknown(" + decimal(product) + ")";
}

std::string cnc::variant_name(unsigned variant)
{
    return variant < VARIANT_COUNT ? VARIANTS[variant] : "unknown(" + decimal(variant) + ")";
}

std::string cnc::version_text(unsigned major, unsigned minor)
{
    return decimal(major) + "." + decimal(minor);
}

std::string cnc::drive_version_text(uint32_t word) { return version_text(word >> 16, word & 0xFFFF); }

std::string cnc::hex_text(const uint8_t* bytes, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

int cnc::read_identity(board& b, identity* out, bool with_drive)
{
    if (out == nullptr) return PELK_ERR_RANGE;
    unsigned int word = 0;
    if (int r = b.mcu_bsp_get_version(&word); r != PELK_OK) return r;
    out->version = split_version(word);
    if (int r = b.mcu_bsp_get_mcu_id(out->board_id.data(), static_cast<unsigned char>(out->board_id.size()));
        r != PELK_OK)
        return r;
    out->drive_known = false;
    if (with_drive) {
        int32_t drive = 0;
        if (b.cnc_ar_get_version(&drive) == PELK_OK) {
            out->drive_known = true;
            out->drive_version = static_cast<uint32_t>(drive);
        }
    }
    return PELK_OK;
}
