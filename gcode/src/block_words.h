// The words of one block sorted by meaning, checked for duplicates and
// for codes outside the dialect, before anything runs.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "gcode/block.h"
#include "gcode/interpreter.h"

namespace gcode {

struct block_words {
    int motion = -2;        // G code x10 of the motion group (0, 10, 20, 30, 382..385, 800); -2 none
    int plane = 0, units = 0, distance = 0, arc_distance = 0, wcs = 0, path = 0, tool_length = 0;
    int non_modal = 0;      // 40, 280, 282, 300, 530, 920, 921
    std::array<bool, AXES> has_axis{};
    axes axis{};
    std::array<bool, 3> has_offset{};   // I J K
    std::array<double, 3> offset{};
    bool has_r = false, has_f = false, has_s = false, has_t = false, has_p = false, has_q = false;
    double r = 0, f = 0, s = 0, p = 0;
    int t = 0, q = 0;
    std::array<int, 4> m{};  // M codes in the order written
    int m_count = 0;
    bool any_axis() const;
    bool has_m(int code) const;
};

// Sorts b's words into out; on a word that cannot run, the outcome names it.
outcome sort_words(const block& b, block_words& out);

}  // namespace gcode
