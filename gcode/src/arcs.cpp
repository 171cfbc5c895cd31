// Arcs in the chosen plane, helical along the normal axis, every other axis
// moving linearly with the angle.
#include <algorithm>
#include <cmath>

#include "arcs.h"

namespace gcode {

namespace {
constexpr double PI = 3.14159265358979323846;
constexpr int MAX_CHORDS = 20000;  // bounds the work of one line whatever its radius
constexpr double SAME_POINT = 1e-6;
}  // namespace

void plane_axes(plane p, int& a0, int& a1, int& normal)
{
    switch (p) {
    case plane::xy: a0 = 0, a1 = 1, normal = 2; return;
    case plane::zx: a0 = 2, a1 = 0, normal = 1; return;
    case plane::yz: a0 = 1, a1 = 2, normal = 0; return;
    }
}

bool arc_points(const arc_request& a, std::vector<axes>& out, std::string& why)
{
    int p0 = 0, p1 = 1, n = 2;
    plane_axes(a.pl, p0, p1, n);
    double sx = a.start[p0], sy = a.start[p1], ex = a.end[p0], ey = a.end[p1];
    double cx, cy;
    if (a.radius_form) {
        double dx = ex - sx, dy = ey - sy, d = std::hypot(dx, dy);
        double r = std::fabs(a.radius);
        if (d < SAME_POINT) {
            why = "an R arc needs an end point other than its start";
            return false;
        }
        double h2 = r * r - d * d / 4;
        if (h2 < 0) {
            if (d / 2 - r > std::max(0.05, 0.001 * r)) {
                why = "the radius is too small for the distance between the ends";
                return false;
            }
            h2 = 0;
        }
        double h = std::sqrt(h2);
        // Centre to the left of the chord for a counter-clockwise short arc.
        double side = a.clockwise ? -1 : 1;
        if (a.radius < 0) side = -side;
        cx = (sx + ex) / 2 - dy / d * h * side;
        cy = (sy + ey) / 2 + dx / d * h * side;
    } else {
        cx = a.centre[0];
        cy = a.centre[1];
    }
    double r0 = std::hypot(sx - cx, sy - cy), r1 = std::hypot(ex - cx, ey - cy);
    if (r0 < SAME_POINT) {
        why = "the arc's centre is its start point";
        return false;
    }
    if (std::fabs(r1 - r0) > 0.05 && std::fabs(r1 - r0) > 0.001 * r0) {
        why = "the end point is not on the arc (radius " + std::to_string(r0) + " at the start, " +
              std::to_string(r1) + " at the end)";
        return false;
    }
    double a0 = std::atan2(sy - cy, sx - cx), a1 = std::atan2(ey - cy, ex - cx);
    double sweep = a.clockwise ? a0 - a1 : a1 - a0;
    while (sweep < 0) sweep += 2 * PI;
    while (sweep >= 2 * PI) sweep -= 2 * PI;
    bool closed = std::hypot(ex - sx, ey - sy) < SAME_POINT;
    if (closed || sweep < 1e-9) sweep = closed ? 2 * PI : sweep + 2 * PI;
    sweep += 2 * PI * std::max(0, a.turns - 1);

    double r = std::max(r0, r1);
    double step = r > a.tolerance ? 2 * std::acos(1 - a.tolerance / r) : sweep;
    long chords = long(std::ceil(sweep / std::max(step, 1e-12)));
    chords = std::clamp(chords, 1L, long(MAX_CHORDS));
    // The direction to each chord point turns by a fixed step: one rotation
    // per point instead of a sine and a cosine, exact again at the end.
    double step_angle = (a.clockwise ? -1 : 1) * sweep / double(chords);
    double cs = std::cos(step_angle), sn = std::sin(step_angle);
    double ux = std::cos(a0), uy = std::sin(a0);
    for (long k = 1; k < chords; ++k) {
        double f = double(k) / double(chords);
        double nx = ux * cs - uy * sn;
        uy = ux * sn + uy * cs;
        ux = nx;
        double rad = r0 + (r1 - r0) * f;
        axes p;
        for (int i = 0; i < AXES; ++i) p[i] = a.start[i] + (a.end[i] - a.start[i]) * f;
        p[p0] = cx + rad * ux;
        p[p1] = cy + rad * uy;
        out.push_back(p);
    }
    out.push_back(a.end);
    return true;
}

}  // namespace gcode
