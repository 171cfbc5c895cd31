// What the machine can do: rates, accelerations and travel per axis, and
// the planner's tolerances. Axes are X Y Z A B C U V W, in that order; A, B
// and C are rotary (degrees), the others linear (mm).
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace gcode {

constexpr int AXES = 9;
constexpr char AXIS_LETTERS[] = "XYZABCUVW";
inline bool rotary_axis(int i) { return i >= 3 && i <= 5; }
// Index of an axis letter (either case), -1 for other letters.
int axis_index(char letter);

using axes = std::array<double, AXES>;

struct machine_settings {
    axes max_rate{};            // units per minute
    axes accel{};               // units per second squared
    axes travel_min{}, travel_max{};  // machine coordinates; infinite: no limit
    double junction_deviation = 0.01;  // mm: how far a corner may be cut, sets corner speeds
    double arc_tolerance = 0.002;      // mm: largest distance between an arc and its chords
    double tool_change_seconds = 3.0;
    double default_feed = 1000;        // units per minute until a program sets F
    int lookahead = 32;                // moves planned ahead of the one executing
    axes g30_position{};               // machine position G30 returns to
    bool block_delete = true;          // lines starting with '/' are skipped

    // The settings of the simulated board when nothing is said: travel of
    // +-1000 mm on the linear axes, rotary axes without limits.
    static machine_settings defaults();
};

// Settings as text, one "key=value" per item separated by spaces:
// rate.x=6000 accel.x=500 travel.x=-1000:1000 junction=0.01 arc_tolerance=0.002
// tool_change=3 feed=1000 lookahead=32 (travel "none" for no limit).
std::string settings_text(const machine_settings& s);
// Applies one "key=value" item; false with why set for an unknown key or a
// value out of range, leaving s unchanged.
bool apply_setting(machine_settings& s, std::string_view item, std::string* why);
// Applies every item of a settings text; false at the first bad one.
bool apply_settings(machine_settings& s, std::string_view text, std::string* why);

}  // namespace gcode
