// What a technician does with a board, for every front end: tell what the
// board is, keep its machine type, move files with progress, check what was
// written, follow a staged drive update and prepare an NC program. Each task
// takes the board object it works on; none keeps state between calls.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cnc_board.h"

namespace cnc {

// ---- Identity ----------------------------------------------------------

// The version word: product << 24 | variant << 16 | major << 8 | minor (the
// variant's top bit is not part of it).
struct version_info {
    uint32_t word = 0;
    unsigned product = 0, variant = 0, major = 0, minor = 0;
};
PELK_API version_info split_version(uint32_t word);
PELK_API bool known_product(unsigned product);
// "M81", "M92", "R27", "R28", or "unknown(N)".
PELK_API std::string product_name(unsigned product);
// "T2_T4", "T15", "T16", or "unknown(N)".
PELK_API std::string variant_name(unsigned variant);
// "major.minor".
PELK_API std::string version_text(unsigned major, unsigned minor);
// A drive or AR unit version word, major << 16 | minor, as "major.minor".
PELK_API std::string drive_version_text(uint32_t word);
// Lower-case hexadecimal of n bytes.
PELK_API std::string hex_text(const uint8_t* bytes, size_t n);

struct identity {
    version_info version;
    std::array<uint8_t, 12> board_id{};
    bool drive_known = false;  // boards without a drive unit may not answer
    uint32_t drive_version = 0;
};
// Reads the version word and the board identifier, and the drive version
// when with_drive is set (its failure only leaves drive_known false).
PELK_API int read_identity(board& b, identity* out, bool with_drive);

// ---- Machine type and identifier in the user-data area ---------------------

struct machine_type {
    uint8_t code;
    const char* name;
};
// The machine types a board can be set to: 3 M81, 4 M81DC, 5 R28.
PELK_API const std::vector<machine_type>& machine_types();
// The name of a type code, or "unknown".
PELK_API std::string machine_type_name(uint8_t code);
// Bytes 0-15 of the user data hold the machine identifier, byte 17 the type.
constexpr uint32_t USER_ID_FIELD = 16;
constexpr uint32_t USER_TYPE_RECORD = 19;
constexpr uint32_t USER_TYPE_BYTE = 17;
PELK_API int read_machine_type(board& b, uint8_t* code);
// Reads the record, changes the type byte and writes it back, so the bytes
// around it stay as the board holds them.
PELK_API int write_machine_type(board& b, uint8_t code);

// ---- Transfers ---------------------------------------------------------

// Runs the transfer msg asks for (its target and op: FPGA flash, MCU
// application, SD card file, drive staging) with progress reported to
// observer after each chunk. The same result as the board function.
PELK_API int run_transfer(board& b, _flash_msg& msg, const transfer_observer& observer);

// A zeroed request for target and op naming file (cut to the 255 bytes the
// field holds; callers check the length first).
PELK_API _flash_msg transfer_request(uint32_t target, uint32_t op, const std::string& file);

// The checksum the board keeps for SD card files: CRC of the file's bytes
// zero-padded to a multiple of 4. PELK_OK or PELK_ERR_FILE.
PELK_API int file_checksum(const char* path, uint32_t* crc);

// The size of a file on the SD card; *exists is false when the card has none.
PELK_API int sd_file_size(board& b, const std::string& name, uint32_t* size, bool* exists);

// The checksum the card keeps for file name (see file_checksum).
PELK_API int sd_file_checksum(board& b, const std::string& name, uint32_t* crc);

// Compares the card's checksum of name with the local file's. PELK_OK with
// *same set; PELK_ERR_FILE when the local file cannot be read; the board
// function's code when the card gave no checksum.
PELK_API int sd_checksum_matches(board& b, const std::string& name, const std::string& local, bool* same,
                                 uint32_t* card_crc = nullptr, uint32_t* local_crc = nullptr);

// Reads size bytes of the FPGA flash back into scratch_path and compares
// them with the image: PELK_OK with *same set and, when they differ,
// *first_difference at the first byte that does.
PELK_API int verify_fpga_image(board& b, const std::string& image, uint64_t size, const std::string& scratch_path,
                               const transfer_observer& observer, bool* same, uint64_t* first_difference);

// ---- Staged drive updates ----------------------------------------------

// The board counts an update from the SD card without the image's last
// 128 bytes.
constexpr uint32_t UPDATE_PROGRESS_LEAD = 128;

enum class update_end {
    finished,     // the count reached the end of the image
    board_failed, // the board reported a negative count
    stalled,      // no progress for stall_ms
    read_failed,  // the progress could not be read (result holds the code)
    stopped,      // the caller's tick asked to stop
};

struct update_limits {
    unsigned poll_ms = 100;
    unsigned stall_ms = 30000;
};

struct update_outcome {
    update_end end = update_end::finished;
    int result = PELK_OK;
    uint64_t shown = 0;  // the bytes of the image the board has taken
};

// Follows the board's progress of an update of an image of size bytes. tick
// gets the bytes taken so far after each read and returns false to stop
// following (the board carries on by itself). An image shorter than the
// lead ends when its count reaches its size or stops advancing.
PELK_API update_outcome follow_update(board& b, uint64_t size, const update_limits& limits,
                                      const std::function<bool(uint64_t shown)>& tick);

// ---- NC programs -------------------------------------------------------

struct nc_program_info {
    uint64_t size = 0;
    uint32_t lines = 0;  // a last line without a line feed counts
};
// PELK_OK or PELK_ERR_FILE.
PELK_API int inspect_nc_program(const std::string& path, nc_program_info* info);

// The name of the numbered copy the board runs for this program (the copy
// carries one header line, so the board's line N is the program's line
// N - 1), or the program's own name when it is numbered already.
PELK_API std::string numbered_program_name(const std::string& path);

}  // namespace cnc
