// Local files: checks made before a transfer, and a scratch file for
// read-backs.
#pragma once

#include <cstdint>
#include <string>

// An exit code: ok when path names a readable, non-empty regular file
// (its size in *size), else local_file with a message.
int check_source(const std::string& path, uint64_t* size);
// An exit code: ok when path fits the library's 255-byte name field.
int check_name_length(const std::string& path);

// A fresh file name in the temporary directory; the file is removed by the
// destructor.
struct temp_file {
    temp_file();
    ~temp_file();
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;
    std::string path;
};
