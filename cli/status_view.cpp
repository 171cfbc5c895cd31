#include "status_view.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "output.h"

namespace {

struct bit_name {
    const char* caption;  // shown in the status text and the progress line
    const char* key;      // for JSON
};
const bit_name RUN_BITS[] = {
    {"parsing", "parsing"},          {"NC program", "nc_program"},       {"working", "working"},
    {"paused", "paused"},            {"homing", "homing"},               {"tool change", "tool_change"},
    {"probing", "probing"},          {"moving", "moving"},               {"spindle config", "spindle_config"},
    {"chuck", "chuck"},              {"material change", "material_change"},
};
constexpr int RUN_BIT_COUNT = int(sizeof RUN_BITS / sizeof RUN_BITS[0]);

// The inputs as the board reports them, and which level means active: air
// pressure, the door and the drawer switches pull their line low when
// active, the dust extraction and coolant outputs are set high. The text
// ticks an active input and JSON says true for it: the same rule for both.
struct input_view {
    const char* caption;
    const char* key;
    bool active;
};
std::vector<input_view> inputs_of(const cnc_status& st)
{
    return {{"air pressure", "air_pressure", st.air_pressure == 0},
            {"door", "door", st.door == 0},
            {"dust/pump", "dust", st.dust != 0},
            {"coolant 0", "coolant0", st.coolant[0] != 0},
            {"coolant 1", "coolant1", st.coolant[1] != 0},
            {"drawer", "drawer", st.drawer == 0}};
}
const char AXES[] = "xyzabcuvw";

std::string number_g6(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", double(v));
    return buf;
}

std::string binary(unsigned v)
{
    if (v == 0) return "0";
    std::string out;
    for (; v; v >>= 1) out.insert(out.begin(), char('0' + (v & 1)));
    return out;
}

std::string positions(const float* p)
{
    std::string out;
    for (int i = 0; i < CNC_AXES; ++i) out += std::string(i ? "  " : "") + AXES[i] + " " + number_g6(p[i]);
    return out;
}

std::string positions_json(const float* p)
{
    json_object o;
    for (int i = 0; i < CNC_AXES; ++i) o.num(std::string(1, AXES[i]), double(p[i]));
    return o.text();
}

std::string job_name(const cnc_status& st) { return std::string(st.job_name, strnlen(st.job_name, CNC_JOB_NAME_LEN)); }

const char* tick(bool on) { return on ? "[x]" : "[ ]"; }

}  // namespace

std::string run_state_text(uint32_t rs)
{
    if (rs == 0) return "idle";
    std::string out;
    for (int b = 0; b < RUN_BIT_COUNT; ++b)
        if (rs & (1u << b)) out += std::string(out.empty() ? "" : ", ") + RUN_BITS[b].caption;
    return out.empty() ? "unknown state " + std::to_string(rs) : out;
}

std::string alarm_text(uint32_t code)
{
    switch (code) {
    case 0: return "";
    case 2: return "travel exceeded: $X or reset to clear, move back inside the travel";
    case 3: return "a program line the machine cannot run: correct the line, then reset";
    case 5: return "probe without a target: the probe met nothing; reset, then check the probe and the workpiece";
    default: return "unknown alarm " + std::to_string(code) + ": reset to clear";
    }
}

std::string status_text(const cnc_status& st)
{
    char buf[512];
    std::string out;
    out += "run state       " + run_state_text(st.run_state) + "\n";
    std::snprintf(buf, sizeof buf, "line            %u\nparsed line     %u\n", st.run_line, st.parse_line);
    out += buf;
    out += "machine pos     " + positions(st.machine_pos) + "\n";
    out += "work pos        " + positions(st.work_pos) + "\n";
    out += "limits          " + binary(st.limit_state) + "\n";
    out += "inputs         ";
    for (const auto& in : inputs_of(st)) out += std::string(" ") + in.caption + " " + tick(in.active) + " ";
    out.pop_back();
    out += "\n";
    std::snprintf(buf, sizeof buf, "spindle         %u  %u\ntools           %u  %u\n", st.spindle_speed[0],
                  st.spindle_speed[1], st.tool_numbers & 0xFFu, st.tool_numbers >> 8);
    out += buf;
    out += "alarm           " + (st.alarm_code ? std::to_string(st.alarm_code) + " (" + alarm_text(st.alarm_code) + ")"
                                               : std::string("none")) + "\n";
    std::snprintf(buf, sizeof buf, "download        %u bytes\n", st.download_bytes);
    out += buf;
    out += "job             " + job_name(st) + (st.resume_pending ? " (resume pending)" : "") + "\n";
    return out;
}

std::string status_json(const cnc_status& st)
{
    std::vector<std::string> names;
    for (int b = 0; b < RUN_BIT_COUNT; ++b)
        if (st.run_state & (1u << b)) names.push_back(json_quote(RUN_BITS[b].key));
    json_object active;
    for (const auto& in : inputs_of(st)) active.boolean(in.key, in.active);
    json_object inputs;
    inputs.integer("air_pressure", st.air_pressure).integer("door", st.door).integer("dust", st.dust);
    inputs.integer("drawer", st.drawer);
    inputs.raw("coolant", json_array({std::to_string(st.coolant[0]), std::to_string(st.coolant[1]),
                                      std::to_string(st.coolant[2]), std::to_string(st.coolant[3])}));
    json_object o;
    o.integer("run_state", st.run_state).raw("run_state_names", json_array(names));
    o.boolean("idle", st.run_state == 0);
    o.integer("run_line", st.run_line).integer("parse_line", st.parse_line);
    o.raw("machine_pos", positions_json(st.machine_pos)).raw("work_pos", positions_json(st.work_pos));
    o.integer("limit_state", st.limit_state).str("limits", binary(st.limit_state));
    // The levels as read, and what they mean: the text ticks the same ones.
    o.raw("inputs", inputs.text()).raw("inputs_active", active.text());
    o.raw("spindle_speed", json_array({std::to_string(st.spindle_speed[0]), std::to_string(st.spindle_speed[1]),
                                       std::to_string(st.spindle_speed[2]), std::to_string(st.spindle_speed[3])}));
    o.raw("tools", json_array({std::to_string(st.tool_numbers & 0xFFu), std::to_string(st.tool_numbers >> 8)}));
    o.integer("alarm_code", st.alarm_code).str("alarm", alarm_text(st.alarm_code));
    o.integer("download_bytes", st.download_bytes);
    o.str("job_name", job_name(st)).boolean("resume_pending", st.resume_pending != 0);
    o.integer("status_word", st.status_word).integer("aux_byte", st.aux_byte);
    return o.text();
}

std::string status_line(const cnc_status& st, uint32_t total_lines)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "line %u/%u  x %s  y %s  z %s  %s", st.run_line, total_lines,
                  number_g6(st.machine_pos[0]).c_str(), number_g6(st.machine_pos[1]).c_str(),
                  number_g6(st.machine_pos[2]).c_str(), run_state_text(st.run_state).c_str());
    return buf;
}
