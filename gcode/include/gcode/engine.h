// Interpreter and planner together: blocks in, timed segments out.
#pragma once

#include <functional>

#include "gcode/interpreter.h"
#include "gcode/planner.h"

namespace gcode {

class engine {
public:
    engine(const machine_settings& s, planner::sink out);

    // Runs one block (a block-deleted line is skipped when the settings say
    // so; '%' and "$" lines move nothing). Its moves enter the planner.
    outcome run(const block& b);
    // Plans what is held to a stop: at the end of a program or when the
    // caller must see every segment so far.
    void finish() { plan_.flush(); }

    interpreter& interp() { return interp_; }
    const interpreter& interp() const { return interp_; }
    planner& plan() { return plan_; }

private:
    interpreter interp_;
    planner plan_;
};

}  // namespace gcode
