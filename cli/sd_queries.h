// Questions about a file on the board's SD card: its size and its checksum,
// with pelkctl's messages and exit codes.
#pragma once

#include <cstdint>
#include <string>

#include "session.h"

// An exit code; *exists false when the card has no such file.
int sd_file_size(session& s, const std::string& name, uint32_t* size, bool* exists);
// An exit code: ok when the card's checksum of name equals the local file's,
// verify when it differs; what names the step in messages.
int sd_verify_checksum(session& s, const std::string& name, const std::string& local, const char* what);
