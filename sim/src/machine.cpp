// The command-line interpreter of the machine: G0/G1 moves of the nine axes,
// G90/G91/G92, g28.2 homing, G38.2 probing, spindle and coolant M words,
// tool changes with m6, dwell, and the "$" settings ($cr<n>=<v> colour
// slots, $X unlock). Results go into the pending result text as JSON members.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "impl.h"

namespace bsim {

namespace {

const char AXES[] = "XYZABCUVW";

struct word {
    char letter;
    double value;
    std::string text;  // the number as written, for G codes like 28.2
};

std::string strip_comments(const std::string& in)
{
    std::string out;
    int depth = 0;
    for (char c : in) {
        if (c == ';' && depth == 0) break;
        if (c == '(') ++depth;
        else if (c == ')' && depth > 0) --depth;
        else if (depth == 0 && c != '\r' && c != '\n' && c != '\0') out += c;
    }
    return out;
}

bool parse_words(const std::string& line, std::vector<word>& words, std::string& err)
{
    size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) { ++i; continue; }
        char letter = char(std::toupper(static_cast<unsigned char>(line[i])));
        if (!std::isalpha(static_cast<unsigned char>(letter))) {
            err = std::string("unexpected '") + line[i] + "'";
            return false;
        }
        ++i;
        while (i < line.size() && line[i] == ' ') ++i;
        size_t start = i;
        while (i < line.size() && (std::isdigit(static_cast<unsigned char>(line[i])) || line[i] == '.' ||
                                   line[i] == '-' || line[i] == '+'))
            ++i;
        if (start == i) {
            err = std::string("word ") + letter + " without a number";
            return false;
        }
        std::string num = line.substr(start, i - start);
        words.push_back({letter, std::strtod(num.c_str(), nullptr), num});
    }
    return true;
}

void busy(board::impl& b, uint32_t bits, int factor = 1)
{
    b.st.m.busy_bits |= bits;
    b.st.m.busy_until = clock_type::now() + std::chrono::milliseconds(b.cfg.motion_ms * factor);
}

std::string fmt(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", double(v));
    return buf;
}

void report_error(board::impl& b, const std::string& why) { add_result(b, "err", json_string(why)); }

// "$" lines: colour slots and unlock.
void setting(board::impl& b, const std::string& line)
{
    std::string l;
    for (char c : line)
        if (!std::isspace(static_cast<unsigned char>(c))) l += char(std::tolower(static_cast<unsigned char>(c)));
    unsigned slot = 0, value = 0;
    char tail = 0;
    if (std::sscanf(l.c_str(), "$cr%u=%u%c", &slot, &value, &tail) == 2) {
        if (slot >= b.st.per.colour_slots.size() || value > 0xFFFF) return report_error(b, "colour slot out of range");
        b.st.per.colour_slots[slot] = uint16_t(value);
        b.mark(D_SCALARS);
        return;
    }
    if (l == "$x") {
        b.st.m.alarm = 0;
        b.st.m.limits = 0;
        b.mark(D_SCALARS);
        return;
    }
    report_error(b, "unknown setting " + line);
}

}  // namespace

std::string json_string(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

void add_result(board::impl& b, const std::string& key, const std::string& json_value)
{
    for (auto& kv : b.st.m.result)
        if (kv.first == key) {
            kv.second = json_value;
            return;
        }
    b.st.m.result.emplace_back(key, json_value);
}

void raise_alarm(board::impl& b, uint16_t code, const std::string& why)
{
    b.st.m.alarm = code;
    add_result(b, "alarm", std::to_string(code));
    report_error(b, why);
    b.log_event("alarm " + std::to_string(code) + ": " + why);
    job_interrupt(b, "alarm");
    b.mark(D_SCALARS);
}

void execute_line(board::impl& b, const std::string& raw, bool from_job)
{
    auto& m = b.st.m;
    std::string line = strip_comments(raw);
    size_t first = line.find_first_not_of(" \t");
    if (!from_job) {
        // A new command line's outcome replaces the previous one's.
        std::erase_if(m.result, [](const auto& kv) { return kv.first == "ok" || kv.first == "err"; });
        add_result(b, "line", json_string(line));
    }
    if (first == std::string::npos) return;
    if (line[first] == '$') return setting(b, line.substr(first));

    std::vector<word> words;
    std::string err;
    if (!parse_words(line, words, err)) return report_error(b, err);

    std::vector<std::string> g, mw;
    float target[9];
    bool has_axis[9] = {};
    bool any_axis = false, has_t = false, has_q = false, has_s = false;
    int t = 0, q = 0;
    double s = 0;
    for (const auto& w : words) {
        const char* ax = std::strchr(AXES, w.letter);
        if (ax) {
            int i = int(ax - AXES);
            target[i] = float(w.value);
            has_axis[i] = any_axis = true;
            continue;
        }
        switch (w.letter) {
        case 'G': g.push_back(w.text); break;
        case 'M': mw.push_back(std::to_string(int(w.value))); break;
        case 'F': m.feed = float(w.value); break;
        case 'S': s = w.value; has_s = true; break;
        case 'T': t = int(w.value); has_t = true; break;
        case 'Q': q = int(w.value); has_q = true; break;
        case 'P': case 'N': break;
        default: return report_error(b, std::string("unsupported word ") + w.letter);
        }
    }
    auto has_g = [&](const char* code) {
        for (auto& x : g)
            if (std::strtod(x.c_str(), nullptr) == std::strtod(code, nullptr)) return true;
        return false;
    };
    auto has_m = [&](int code) {
        for (auto& x : mw)
            if (std::atoi(x.c_str()) == code) return true;
        return false;
    };
    for (auto& x : g) {
        double v = std::strtod(x.c_str(), nullptr);
        if (v != 0 && v != 1 && v != 4 && v != 28.2 && v != 38.2 && v != 90 && v != 91 && v != 92 && v != 21)
            return report_error(b, "unsupported G" + x);
    }
    bool motion = any_axis || has_g("28.2") || has_g("38.2") || has_m(6);
    if (motion && m.alarm) return report_error(b, "alarm " + std::to_string(m.alarm) + ", reset first");

    if (has_g("90")) m.absolute = true;
    if (has_g("91")) m.absolute = false;
    if (has_g("92")) {
        for (int i = 0; i < 9; ++i)
            if (has_axis[i]) m.offset[i] = m.mpos[i] - target[i];
        b.mark(D_SCALARS);
        return;
    }
    if (has_s && m.spindle[0]) m.spindle[0] = uint16_t(std::min(s, 65535.0));
    if (has_m(3) || has_m(4)) m.spindle[0] = uint16_t(std::min(has_s ? s : 1000.0, 65535.0));
    if (has_m(5)) m.spindle[0] = 0;
    if (has_m(7)) m.coolant[1] = 1;
    if (has_m(8)) m.coolant[0] = 1;
    if (has_m(9)) m.coolant = {};
    if (has_m(6)) {
        if (!has_t && !has_q) return report_error(b, "m6 without a tool");
        if (has_t) m.tools[0] = uint8_t(t);
        if (has_q) m.tools[1] = uint8_t(q);
        busy(b, RS_TOOL_CHANGE, 2);
    }
    if (has_g("4")) busy(b, RS_MOVING);

    if (has_g("28.2")) {
        for (int i = 0; i < 9; ++i)
            if (has_axis[i] || !any_axis) {
                m.mpos[i] = 0;
                m.limits &= uint16_t(~(1u << i));
            }
        m.homed = true;
        busy(b, RS_HOMING, 3);
    } else if (any_axis) {
        float dest[9];
        for (int i = 0; i < 9; ++i) {
            dest[i] = m.mpos[i];
            if (!has_axis[i]) continue;
            dest[i] = m.absolute ? target[i] + m.offset[i] : m.mpos[i] + target[i];
            if (std::fabs(dest[i]) > b.cfg.travel) {
                m.limits |= uint16_t(1u << i);
                return raise_alarm(b, ALARM_LIMIT,
                                   std::string("travel exceeded on ") + AXES[i] + " at " + fmt(dest[i]));
            }
        }
        std::copy(dest, dest + 9, m.mpos.begin());
        if (has_g("38.2")) {
            std::string prb = "{";
            for (int i = 0; i < 9; ++i) {
                if (i) prb += ',';
                prb += std::string("\"PRB") + AXES[i] + "\":" + fmt(m.mpos[i] - m.offset[i]);
            }
            add_result(b, "PRB", prb + "}");
            busy(b, RS_PROBING, 2);
        } else {
            busy(b, RS_MOVING);
        }
    } else if (has_g("38.2")) {
        return raise_alarm(b, ALARM_PROBE, "probe without a target");
    }
    b.mark(D_SCALARS);
    if (!from_job) add_result(b, "ok", "true");
}

}  // namespace bsim
