// The unit of planned motion: a straight piece of the path (an arc arrives
// as chords) or a pause, with its velocity profile and duration.
#pragma once

#include <cstdint>

#include "gcode/settings.h"

namespace gcode {

enum class motion : uint8_t {
    rapid,        // G0, G28 and G30 moves, G53 rapids
    feed,         // G1
    arc,          // a chord of G2 or G3
    probe,        // G38.2 to G38.5
    home,         // G28.2: the named axes to machine zero
    dwell,        // G4
    tool_change,  // M6
    stop,         // M0: the program waits for the operator
};
const char* motion_name(motion m);
inline bool is_pause(motion m) { return m == motion::dwell || m == motion::tool_change || m == motion::stop; }

struct segment {
    axes start{}, end{};   // machine coordinates
    uint64_t line = 0;     // the program line this belongs to
    motion kind = motion::feed;
    double feed = 0;       // rate asked for, units per minute (0: the machine's fastest)
    double length = 0;     // path length over all axes
    // Trapezoidal profile: entry, cruise and exit speed (units/s) and acceleration.
    double entry = 0, cruise = 0, exit = 0, accel = 0;
    double seconds = 0;    // duration of the whole segment
};

// Distance covered t seconds into the segment (0 .. length).
double distance_at(const segment& s, double t);
// Position t seconds into the segment.
axes position_at(const segment& s, double t);

}  // namespace gcode
