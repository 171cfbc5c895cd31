// Words of a block by group. Codes are compared as ten times their value
// (G38.2 is 382), so decimal codes are exact.
#include <cmath>

#include "block_words.h"

namespace gcode {

namespace {

outcome bad(issue i, const word& w, std::string why)
{
    outcome o;
    o.problem = i;
    o.word = std::string(1, w.letter) + w.text;
    o.why = std::move(why);
    o.executed = false;
    return o;
}

enum group { G_MOTION, G_PLANE, G_UNITS, G_DISTANCE, G_ARC_DISTANCE, G_WCS, G_PATH, G_TOOL_LENGTH, G_NON_MODAL,
             G_ACCEPTED, G_NONE };

group group_of(int code)
{
    switch (code) {
    case 0: case 10: case 20: case 30: case 382: case 383: case 384: case 385: case 800: return G_MOTION;
    case 170: case 180: case 190: return G_PLANE;
    case 200: case 210: return G_UNITS;
    case 900: case 910: return G_DISTANCE;
    case 901: case 911: return G_ARC_DISTANCE;
    case 540: case 550: case 560: case 570: case 580: case 590: return G_WCS;
    case 610: case 611: case 640: return G_PATH;
    case 430: case 490: return G_TOOL_LENGTH;
    case 40: case 280: case 282: case 300: case 530: case 920: case 921: return G_NON_MODAL;
    case 400: case 940: return G_ACCEPTED;  // cutter compensation off, feed per minute: the machine's only modes
    default: return G_NONE;
    }
}

const char* unsupported_g(int code)
{
    if (code >= 810 && code <= 890) return "canned cycles are not supported";
    switch (code) {
    case 930: return "inverse-time feed is not supported";
    case 950: return "feed per revolution is not supported";
    case 410: case 420: case 411: case 421: return "cutter radius compensation is not supported";
    case 330: case 331: case 760: return "threading and tapping cycles are not supported";
    case 100: return "offsets set from the program (G10) are not supported";
    case 281: case 301: return "storing home positions from the program is not supported";
    case 922: case 923: return "G92.2 and G92.3 are not supported";
    case 431: case 432: return "dynamic tool length offsets are not supported";
    case 50: case 51: case 52: case 53: return "spline and conic moves are not supported";
    case 680: case 690: case 510: case 500: return "rotation and scaling are not supported";
    default: return "this G code is not supported";
    }
}

}  // namespace

bool block_words::any_axis() const
{
    for (bool b : has_axis)
        if (b) return true;
    return false;
}

bool block_words::has_m(int code) const
{
    for (int i = 0; i < m_count; ++i)
        if (m[i] == code) return true;
    return false;
}

outcome sort_words(const block& b, block_words& out)
{
    out = block_words{};
    bool seen_group[G_NONE + 1] = {};
    for (const word& w : b.words) {
        int axis = axis_index(w.letter);
        if (axis >= 0) {
            if (out.has_axis[axis]) return bad(issue::malformed, w, std::string(1, w.letter) + " twice in one line");
            out.has_axis[axis] = true;
            out.axis[axis] = w.value;
            continue;
        }
        auto once = [&](bool& flag) {
            bool twice = flag;
            flag = true;
            return twice;
        };
        switch (w.letter) {
        case 'G': {
            double scaled = w.value * 10;
            int code = int(std::lround(scaled));
            if (std::fabs(scaled - code) > 1e-6 || code < 0)
                return bad(issue::unsupported, w, "this G code is not supported");
            group g = group_of(code);
            if (g == G_NONE) return bad(issue::unsupported, w, unsupported_g(code));
            if (g != G_ACCEPTED) {
                if (seen_group[g]) return bad(issue::malformed, w, "two G codes of one group in one line");
                seen_group[g] = true;
            }
            switch (g) {
            case G_MOTION: out.motion = code; break;
            case G_PLANE: out.plane = code; break;
            case G_UNITS: out.units = code; break;
            case G_DISTANCE: out.distance = code; break;
            case G_ARC_DISTANCE: out.arc_distance = code; break;
            case G_WCS: out.wcs = code; break;
            case G_PATH: out.path = code; break;
            case G_TOOL_LENGTH: out.tool_length = code; break;
            case G_NON_MODAL: out.non_modal = code; break;
            default: break;
            }
            break;
        }
        case 'M': {
            int code = int(w.value);
            if (double(code) != w.value) return bad(issue::unsupported, w, "this M code is not supported");
            switch (code) {
            case 0: case 1: case 2: case 30: case 3: case 4: case 5: case 6: case 7: case 8: case 9: break;
            default: return bad(issue::unsupported, w, "this M code is not supported");
            }
            if (out.m_count == int(out.m.size())) return bad(issue::malformed, w, "more than four M codes in one line");
            out.m[size_t(out.m_count++)] = code;
            break;
        }
        case 'I': case 'J': case 'K': {
            size_t k = size_t(w.letter - 'I');
            if (once(out.has_offset[k])) return bad(issue::malformed, w, std::string(1, w.letter) + " twice in one line");
            out.offset[k] = w.value;
            break;
        }
        case 'R':
            if (once(out.has_r)) return bad(issue::malformed, w, "R twice in one line");
            out.r = w.value;
            break;
        case 'F':
            if (once(out.has_f)) return bad(issue::malformed, w, "F twice in one line");
            if (w.value < 0) return bad(issue::malformed, w, "negative feed rate");
            out.f = w.value;
            break;
        case 'S':
            if (once(out.has_s)) return bad(issue::malformed, w, "S twice in one line");
            if (w.value < 0) return bad(issue::malformed, w, "negative spindle speed");
            out.s = w.value;
            break;
        case 'T':
            if (once(out.has_t)) return bad(issue::malformed, w, "T twice in one line");
            if (w.value < 0 || w.value > 255 || double(int(w.value)) != w.value)
                return bad(issue::malformed, w, "tool numbers are whole numbers 0 to 255");
            out.t = int(w.value);
            break;
        case 'Q':  // the board's second tool slot
            if (once(out.has_q)) return bad(issue::malformed, w, "Q twice in one line");
            if (w.value < 0 || w.value > 255) return bad(issue::malformed, w, "Q is a tool number 0 to 255");
            out.q = int(w.value);
            break;
        case 'P':
            if (once(out.has_p)) return bad(issue::malformed, w, "P twice in one line");
            out.p = w.value;
            break;
        case 'H': case 'D':
            break;  // tool length and radius registers: no tool table on this machine
        default:
            return bad(issue::unsupported, w, std::string("word ") + w.letter + " is not supported");
        }
    }
    return {};
}

}  // namespace gcode
