// A deterministic milling program of any length, shaped like CAM output:
// rectangular pockets cleared level by level, either by zigzag passes with a
// finishing contour or by concentric contours entered on a helix. Rapids
// between pockets and retracts are G0, plunges and cuts G1 with changing X Y
// Z, the rounded corners G2 or G3 with I and J, and the feed changes from
// pocket to pocket and for the finishing passes.
#pragma once

#include <cstdint>
#include <string>

// Writes exactly lines lines (at least 8) to path; false when it cannot be written.
bool write_pocket_program(const std::string& path, uint64_t lines);
