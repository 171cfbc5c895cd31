// What each transfer target can hold, in one table, and the checks made on
// a local file before anything is sent: an image must not be empty, must fit
// its target and, for firmware and configuration images, must not be text.
// Used by pelkctl and the console before they erase or write anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelk {

// The places a file can go. The values of the first five follow
// flash_target; the boot program has none there.
enum class image_target : uint32_t {
    fpga = 0,           // FPGA configuration flash
    sd_file = 2,        // any file on the SD card
    mcu_app = 3,        // MCU application (written directly or staged on the card)
    spindle_drive = 4,  // spindle drive firmware, staged on the card
    dc_drive = 5,       // dc drive firmware, staged on the card
    boot = 6,           // the MCU's boot program, staged on the card
};

// Products as the firmware version reports them (its top byte).
constexpr int ANY_PRODUCT = -1;

struct capacity_entry {
    image_target target;
    int product;         // ANY_PRODUCT, or the product id this row is for
    uint64_t bytes;      // the most the target takes
    bool firmware;       // an image the target runs: text is refused
    const char* name;    // "FPGA flash", for messages
    const char* source;  // where the figure comes from
};

// Every row; a product's own row comes before the ANY_PRODUCT one.
const std::vector<capacity_entry>& capacity_table();
// The row for target on product (ANY_PRODUCT when not known).
const capacity_entry& capacity_of(image_target target, int product = ANY_PRODUCT);

enum class image_verdict {
    ok,
    unreadable,  // the file cannot be opened or read
    empty,
    too_large,
    text,        // printable text (a G-code program, a listing), no image
};

struct image_check {
    image_verdict verdict = image_verdict::ok;
    uint64_t size = 0;
    uint64_t capacity = 0;
    bool gcode = false;  // text that reads as G-code
    // One line for the operator: what is wrong, nothing when ok.
    std::string message;
};

// Checks the file at path for target. capacity 0 takes the table's figure
// for product; any other value replaces it (a board family not in the table).
image_check check_image_file(const std::string& path, image_target target, int product = ANY_PRODUCT,
                             uint64_t capacity = 0);

// True when data holds only printable text and white space (UTF-8 allowed).
bool looks_like_text(const unsigned char* data, size_t n);
// True when text's first lines read as G-code words.
bool looks_like_gcode(const unsigned char* data, size_t n);

}  // namespace pelk
