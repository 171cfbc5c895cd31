#include "gcode/engine.h"

namespace gcode {

engine::engine(const machine_settings& s, planner::sink out) : interp_(s), plan_(s, std::move(out)) {}

outcome engine::run(const block& b)
{
    axes from = interp_.state().position;
    bool exact = interp_.state().exact_stop;
    return interp_.run(b, [&](const move& m) {
        plan_.add(from, m, exact);
        if (!is_pause(m.kind)) from = m.end;
    });
}

}  // namespace gcode
