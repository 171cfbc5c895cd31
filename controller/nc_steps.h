// Private: the steps of the NC program pipeline run by cnc_start_nc_file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cnc_board.h"

// Returned by the numbering step for a source already named "..._N.nc".
constexpr int NC_ALREADY_NUMBERED = -8;
// Bytes of the numbered-name buffer.
constexpr size_t NC_NAME_BUFFER = 256;

// Works out the numbered name of source_path into name (NC_NAME_BUFFER bytes)
// without touching any file: 1 when a numbered copy is to be written, 0 when
// the base name has no dot (name holds the base name), NC_ALREADY_NUMBERED,
// or PELK_ERR_RANGE when the name does not fit the buffer.
int nc_numbered_name(const char* source_path, char* name);

// Writes the numbered copy of source_path, named in name: the header line
// "(NFL<count>)\r\n" and the source's bytes unchanged. Returns the pieces
// written plus one for the header, 0 when nothing was written (or the source
// is empty), NC_ALREADY_NUMBERED, PELK_ERR_RANGE when the name does not fit,
// PELK_ERR_FILE when writing the copy failed. *created tells whether the
// copy now exists in the working directory.
int cnc_add_file_line_number(const char* source_path, char* name, bool* created);

// Compares the local file name with the board's SD copy of the same name, by
// checksum (check nonzero) or by padded size, and erases the board's copy
// when they differ. Sets *match; 0, or PELK_ERR_FILE when the local checksum
// cannot be computed.
int cnc_start_check_nc_file(cnc::board& b, const char* name, uint8_t check, int* match);

// Downloads the local file name with the NC data command. 0 or PELK_ERR_FILE.
int cnc_start_write_nc_file(cnc::board& b, const char* name);

// The file's length rounded up to a multiple of 4; 0 when it cannot be opened.
uint32_t get_nc_file_size(const char* name);
