// The G-code engine behind the simulated machine: made from the machine
// settings, kept in step with the machine's position, and the effects of
// each segment as the machine completes it.
#include <cstdio>

#include "impl.h"

namespace bsim {

namespace {

std::string fmt(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

}  // namespace

uint32_t kind_bits(gcode::motion k)
{
    switch (k) {
    case gcode::motion::home: return RS_HOMING;
    case gcode::motion::probe: return RS_PROBING | RS_MOVING;
    case gcode::motion::tool_change: return RS_TOOL_CHANGE;
    case gcode::motion::stop: return 0;
    default: return RS_MOVING;
    }
}

void motion_setup(board::impl& b)
{
    auto& mo = b.mo;
    mo.queue.clear();
    mo.eng = std::make_unique<gcode::engine>(mo.settings, [&mo](const gcode::segment& s) { mo.queue.push_back(s); });
    auto& st = mo.eng->interp().state();
    const auto& m = b.st.m;
    for (int i = 0; i < 9; ++i) {
        st.position[size_t(i)] = m.mpos[size_t(i)];
        st.g92[size_t(i)] = m.offset[size_t(i)];
    }
    st.absolute = m.absolute;
    st.feed = m.feed > 0 ? m.feed : mo.settings.default_feed;
    st.homed = m.homed;
    st.tool = m.tools[0];
    st.second_tool = m.tools[1];
}

void motion_stop(board::impl& b)
{
    auto& mo = b.mo;
    if (!mo.eng) return;
    mo.eng->plan().clear();
    mo.queue.clear();
    mo.seg_elapsed = 0;
    auto& st = mo.eng->interp().state();
    for (int i = 0; i < 9; ++i) st.position[size_t(i)] = b.st.m.mpos[size_t(i)];
    st.stopped = st.ended = false;
}

void segment_done(board::impl& b, const gcode::segment& s)
{
    auto& m = b.st.m;
    for (int i = 0; i < 9; ++i) m.mpos[size_t(i)] = float(s.end[size_t(i)]);
    if (s.kind == gcode::motion::home) {
        for (int i = 0; i < 9; ++i)
            if (s.end[size_t(i)] == 0) m.limits &= uint16_t(~(1u << i));
        m.homed = true;
    } else if (s.kind == gcode::motion::probe) {
        std::string prb = "{";
        auto work = b.mo.eng->interp().work_position(s.end);
        for (int i = 0; i < 9; ++i) {
            if (i) prb += ',';
            prb += std::string("\"PRB") + gcode::AXIS_LETTERS[i] + "\":" + fmt(float(work[size_t(i)]));
        }
        add_result(b, "PRB", prb + "}");
    }
    b.mark(D_SCALARS);
}

void sync_modal(board::impl& b)
{
    auto& m = b.st.m;
    const auto& st = b.mo.eng->interp().state();
    double speed = st.spindle_speed > 0 ? st.spindle_speed : 1000.0;
    m.spindle[0] = st.spindle == 5 ? 0 : uint16_t(std::min(speed, 65535.0));
    m.coolant[0] = st.flood ? 1 : 0;
    m.coolant[1] = st.mist ? 1 : 0;
    m.tools[0] = uint8_t(st.tool);
    m.tools[1] = uint8_t(st.second_tool);
    const auto& wcs = st.work_offsets[size_t(st.coordinate_system)];
    for (int i = 0; i < 9; ++i) m.offset[size_t(i)] = float(wcs[size_t(i)] + st.g92[size_t(i)]);
    m.absolute = st.absolute;
    m.feed = float(st.feed);
    b.mark(D_SCALARS);
}

}  // namespace bsim
