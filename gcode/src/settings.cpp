// Machine settings, their defaults and their text form.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "gcode/settings.h"

namespace gcode {

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

bool number(std::string_view s, double& v)
{
    if (s.empty()) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc{} && r.ptr == s.data() + s.size() && std::isfinite(v);
}

std::string num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

bool fail(std::string* why, std::string text)
{
    if (why) *why = std::move(text);
    return false;
}

}  // namespace

int axis_index(char letter)
{
    char u = (letter >= 'a' && letter <= 'z') ? char(letter - 32) : letter;
    for (int i = 0; i < AXES; ++i)
        if (AXIS_LETTERS[i] == u) return i;
    return -1;
}

machine_settings machine_settings::defaults()
{
    machine_settings s;
    for (int i = 0; i < AXES; ++i) {
        if (rotary_axis(i)) {
            s.max_rate[i] = 21600;  // 60 turns a minute
            s.accel[i] = 3600;
            s.travel_min[i] = -INF;
            s.travel_max[i] = INF;
        } else {
            s.max_rate[i] = i == 2 ? 3000 : 6000;
            s.accel[i] = i == 2 ? 300 : 500;
            s.travel_min[i] = -1000;
            s.travel_max[i] = 1000;
        }
    }
    return s;
}

std::string settings_text(const machine_settings& s)
{
    std::string out;
    auto add = [&](const std::string& item) {
        if (!out.empty()) out += ' ';
        out += item;
    };
    for (int i = 0; i < AXES; ++i) {
        char a = char(AXIS_LETTERS[i] + 32);
        add(std::string("rate.") + a + "=" + num(s.max_rate[i]));
        add(std::string("accel.") + a + "=" + num(s.accel[i]));
        if (std::isinf(s.travel_min[i]) && std::isinf(s.travel_max[i]))
            add(std::string("travel.") + a + "=none");
        else
            add(std::string("travel.") + a + "=" + num(s.travel_min[i]) + ":" + num(s.travel_max[i]));
    }
    add("junction=" + num(s.junction_deviation));
    add("arc_tolerance=" + num(s.arc_tolerance));
    add("tool_change=" + num(s.tool_change_seconds));
    add("feed=" + num(s.default_feed));
    add("lookahead=" + std::to_string(s.lookahead));
    return out;
}

bool apply_setting(machine_settings& s, std::string_view item, std::string* why)
{
    size_t eq = item.find('=');
    if (eq == std::string_view::npos) return fail(why, "setting without '=': " + std::string(item));
    std::string_view key = item.substr(0, eq), value = item.substr(eq + 1);
    size_t dot = key.find('.');
    if (dot != std::string_view::npos) {
        std::string_view kind = key.substr(0, dot), axis = key.substr(dot + 1);
        int i = axis.size() == 1 ? axis_index(axis[0]) : -1;
        if (i < 0) return fail(why, "unknown axis in " + std::string(key));
        if (kind == "travel") {
            if (value == "none") {
                s.travel_min[i] = -INF;
                s.travel_max[i] = INF;
                return true;
            }
            size_t colon = value.find(':');
            double lo = 0, hi = 0;
            if (colon == std::string_view::npos) {
                if (!number(value, hi) || hi <= 0) return fail(why, "travel needs MAX, MIN:MAX or none");
                lo = -hi;
            } else if (!number(value.substr(0, colon), lo) || !number(value.substr(colon + 1), hi) || lo >= hi) {
                return fail(why, "travel needs MAX, MIN:MAX or none");
            }
            s.travel_min[i] = lo;
            s.travel_max[i] = hi;
            return true;
        }
        double v = 0;
        if (!number(value, v) || v <= 0 || v > 1e7) return fail(why, std::string(key) + " needs a positive number");
        if (kind == "rate") s.max_rate[i] = v;
        else if (kind == "accel") s.accel[i] = v;
        else return fail(why, "unknown setting " + std::string(key));
        return true;
    }
    double v = 0;
    if (!number(value, v) || v < 0) return fail(why, std::string(key) + " needs a number of 0 or more");
    if (key == "junction") s.junction_deviation = v;
    else if (key == "arc_tolerance") {
        if (v < 1e-5 || v > 10) return fail(why, "arc_tolerance must be 0.00001 to 10 mm");
        s.arc_tolerance = v;
    } else if (key == "tool_change") s.tool_change_seconds = v;
    else if (key == "feed") {
        if (v <= 0) return fail(why, "feed must be positive");
        s.default_feed = v;
    } else if (key == "lookahead") {
        if (v < 1 || v > 4096) return fail(why, "lookahead must be 1 to 4096");
        s.lookahead = int(v);
    } else return fail(why, "unknown setting " + std::string(key));
    return true;
}

bool apply_settings(machine_settings& s, std::string_view text, std::string* why)
{
    machine_settings next = s;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\t' || text[i] == ',')) ++i;
        size_t j = i;
        while (j < text.size() && text[j] != ' ' && text[j] != '\n' && text[j] != '\t' && text[j] != ',') ++j;
        if (j > i && !apply_setting(next, text.substr(i, j - i), why)) return false;
        i = j;
    }
    s = next;
    return true;
}

}  // namespace gcode
