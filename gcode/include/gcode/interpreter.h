// Runs blocks against a modal state and turns their motion into moves in
// machine coordinates. A block that cannot run changes nothing: every word is
// checked and every move computed before any of it takes effect.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gcode/block.h"
#include "gcode/segment.h"
#include "gcode/settings.h"

namespace gcode {

// A straight move (or pause) handed to the planner.
struct move {
    axes end{};           // machine coordinates; a pause keeps the position
    uint64_t line = 0;
    motion kind = motion::feed;
    double feed = 0;      // units per minute; 0 for the fastest the axes allow
    double seconds = 0;   // pauses only
};

enum class plane : uint8_t { xy, zx, yz };

struct modal_state {
    int motion_mode = 0;        // 0, 1, 2, 3 or 38 (probe); -1 after G80
    plane arc_plane = plane::xy;
    bool inches = false;
    bool absolute = true;       // G90
    bool arc_absolute = false;  // G90.1
    bool exact_stop = false;    // G61
    int coordinate_system = 0;  // 0..5 for G54..G59
    double feed = 0;            // mm (or degrees) per minute
    double spindle_speed = 0;
    int spindle = 5;            // 3, 4 or 5
    bool mist = false, flood = false;
    int tool = 0;               // tool in the spindle
    int selected_tool = 0;      // T word waiting for M6
    int second_tool = 0;        // Q word, the board's second tool slot
    bool tool_length = false;   // G43 in force (the board has no tool table)
    axes position{};            // machine coordinates
    axes g92{};                 // G92 offset
    std::array<axes, 6> work_offsets{};  // G54..G59
    bool homed = false;
    bool stopped = false;       // the last block was M0 or M1
    bool ended = false;         // M2 or M30 seen
};

struct outcome {
    issue problem = issue::none;
    std::string word;   // the word at fault, as written ("G93", "#101", "X")
    std::string why;
    bool executed = true;  // false when the block changed nothing
    bool ok() const { return problem == issue::none; }
};

class interpreter {
public:
    explicit interpreter(const machine_settings& s);

    // Runs one block; its moves go to sink in order. With enforce_travel a
    // move beyond the travel refuses the whole block (a controller); without,
    // the block runs and the outcome still reports it (a check).
    outcome run(const block& b, const std::function<void(const move&)>& sink);

    modal_state& state() { return st_; }
    const modal_state& state() const { return st_; }
    const machine_settings& settings() const { return cfg_; }
    // Work coordinates of a machine position under the current offsets.
    axes work_position(const axes& machine) const;
    bool enforce_travel = true;

private:
    machine_settings cfg_;
    modal_state st_;
    std::vector<move> scratch_;   // the block's moves until it is known to run
    std::vector<axes> points_;    // an arc's chord ends
};

}  // namespace gcode
