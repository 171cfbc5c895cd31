// Shared helpers of the transfer tests: a scratch working directory per
// test, local files, and expected name fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pelk.h"

using bytes = std::vector<unsigned char>;

// Creates a fresh directory, makes it the working directory and restores the
// previous one (removing the directory) when it goes.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    const std::string& path() const { return dir; }

private:
    std::string dir;
    std::string previous;
};

void write_file(const std::string& path, const bytes& content);
void write_text(const std::string& path, const std::string& text);
bytes read_file(const std::string& path);
bool file_exists(const std::string& path);
bytes random_bytes(size_t n, uint32_t seed);

// A zeroed request record for target and op with the given file name.
_flash_msg make_msg(uint32_t target, uint32_t op, const std::string& name);
// The 256-byte name field as it goes to the board.
bytes name_field(const std::string& name);
