// Private: reading the values of a parameter file.
#pragma once

#include <cstdio>

// The controller's parameter table holds this many single-precision values.
constexpr int PARAM_MAX_VALUES = 512;
constexpr unsigned short PARAM_TABLE_BYTES = PARAM_MAX_VALUES * 4;

// Reads f from where it stands to its end, one value per line, into table
// (PARAM_TABLE_BYTES bytes, little-endian floats); returns the number of
// values stored, at most PARAM_MAX_VALUES. *more tells whether the file held
// further values that did not fit.
int read_param_values(std::FILE* f, unsigned char* table, bool* more);
