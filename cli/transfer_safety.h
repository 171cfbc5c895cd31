// The checks made on an image before anything on the board is erased or
// written, and what pelkctl says when Ctrl-C cuts a write short.
#pragma once

#include <cstdint>
#include <string>

#include "args.h"
#include "flash_capacity.h"
#include "session.h"

// An exit code: ok when file can go to target (its size in *size); else
// local_file with the reason (empty, larger than the target holds, text
// where an image belongs). --capacity replaces the table's figure.
int check_image(const options& o, pelk::image_target target, const std::string& file, uint64_t* size);

// Stops a write command cut by Ctrl-C: says what the target holds now
// ("FPGA flash: 1.3 MiB of 4.0 MiB written; <consequence>"), puts it in the
// report and returns the interrupted code.
int transfer_cut(session& s, const std::string& label, const char* target_name, uint64_t done, uint64_t total,
                 const std::string& consequence);

// sd put --skip-same: *same true when the card holds name with the size and
// checksum of the local file. An exit code (ok unless the board fails).
int sd_holds_same(session& s, const std::string& file, uint64_t size, bool* same);

// Erases name on the card after a cut copy, so that no partial file looks
// complete; false when the board did not take the erase.
bool sd_remove_partial(session& s, const std::string& name);
