// Positions along a planned segment.
#include <algorithm>
#include <cmath>

#include "gcode/segment.h"

namespace gcode {

const char* motion_name(motion m)
{
    switch (m) {
    case motion::rapid: return "rapid";
    case motion::feed: return "feed";
    case motion::arc: return "arc";
    case motion::probe: return "probe";
    case motion::home: return "home";
    case motion::dwell: return "dwell";
    case motion::tool_change: return "tool change";
    case motion::stop: return "stop";
    }
    return "?";
}

double distance_at(const segment& s, double t)
{
    if (s.length <= 0 || t <= 0) return 0;
    if (t >= s.seconds) return s.length;
    double a = s.accel, v0 = s.entry, vc = s.cruise, v1 = s.exit;
    double t_acc = a > 0 ? std::max(0.0, (vc - v0) / a) : 0;
    double t_dec = a > 0 ? std::max(0.0, (vc - v1) / a) : 0;
    double d_acc = (v0 + vc) / 2 * t_acc;
    double d_dec = (vc + v1) / 2 * t_dec;
    double t_cruise = std::max(0.0, s.seconds - t_acc - t_dec);
    double d;
    if (t < t_acc) {
        d = v0 * t + a * t * t / 2;
    } else if (t < t_acc + t_cruise) {
        d = d_acc + vc * (t - t_acc);
    } else {
        double u = t - t_acc - t_cruise;
        d = d_acc + vc * t_cruise + vc * u - a * u * u / 2;
        (void)d_dec;
    }
    return std::clamp(d, 0.0, s.length);
}

axes position_at(const segment& s, double t)
{
    if (s.length <= 0) return s.end;
    double f = distance_at(s, t) / s.length;
    axes p;
    for (int i = 0; i < AXES; ++i) p[i] = s.start[i] + (s.end[i] - s.start[i]) * f;
    return p;
}

}  // namespace gcode
