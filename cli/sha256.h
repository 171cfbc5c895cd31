// SHA-256 of a file, for the records of what went to which board.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class sha256 {
public:
    sha256();
    void update(const void* data, size_t n);
    // The digest as 64 lowercase hex digits; the object is spent afterwards.
    std::string hex();

private:
    void block(const uint8_t* p);
    uint32_t h[8];
    uint8_t buf[64];
    size_t used = 0;
    uint64_t length = 0;
};

// The file's digest in hex; empty when it cannot be read.
std::string sha256_file(const std::string& path);
