// Local files: checks made before a transfer, the board's file checksum
// computed on this side, and byte comparison for read-back verification.
#pragma once

#include <cstdint>
#include <string>

// An exit code: ok when path names a readable, non-empty regular file
// (its size in *size), else local_file with a message.
int check_source(const std::string& path, uint64_t* size);
// An exit code: ok when path fits the library's 255-byte name field.
int check_name_length(const std::string& path);

// The board's file checksum (CRC-32 of the file padded with zeros to a
// multiple of 4), as the library computes it. False when the file cannot be read.
bool file_checksum(const std::string& path, uint32_t* crc);

// Compares the first n bytes of two files. Returns 1 equal, 0 different
// (*where = first differing offset; a file shorter than n differs where it
// ends), -1 when a file cannot be opened.
int compare_files(const std::string& a, const std::string& b, uint64_t n, uint64_t* where);

// A fresh file name in the temporary directory; the file is removed by the
// destructor.
struct temp_file {
    temp_file();
    ~temp_file();
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;
    std::string path;
};
