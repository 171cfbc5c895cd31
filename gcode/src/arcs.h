// G2 and G3 as chords within the arc tolerance.
#pragma once

#include <string>
#include <vector>

#include "gcode/interpreter.h"

namespace gcode {

struct arc_request {
    axes start{}, end{};     // machine coordinates
    plane pl = plane::xy;
    bool clockwise = true;
    bool radius_form = false;
    double radius = 0;       // R form, mm; negative for the longer arc
    double centre[2] = {0, 0};  // IJK form: centre in machine coordinates, plane axes
    int turns = 1;           // P word
    double tolerance = 0.002;
};

// Appends the chords' end points to out. False with why when the arc
// cannot be drawn (radius too small for the chord, ends not on one circle).
bool arc_points(const arc_request& a, std::vector<axes>& out, std::string& why);

// The plane's two axes and the axis normal to it.
void plane_axes(plane p, int& a0, int& a1, int& normal);

}  // namespace gcode
