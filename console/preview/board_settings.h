// The machine's rates, accelerations and travel for checks and estimates:
// the connected board's own ("$$", a "settings" member in its result text),
// else the defaults.
#pragma once

#include <QString>

#include "gcode/settings.h"

#include "cnc_board.h"
class message_log;

struct machine_settings_source {
    gcode::machine_settings settings = gcode::machine_settings::defaults();
    bool from_board = false;
    QString why;  // why the defaults apply, when a board was asked
};

// Asks dev (null or closed: the defaults). A result text already waiting is
// handed on first as the state poll would (logged, probe results stored), so
// "$$" takes nothing from anyone.
machine_settings_source read_machine_settings(cnc::board& dev, bool open, message_log* log);

// The "settings" member of a result text applied over the defaults; false
// with why when there is none or it cannot be used.
bool settings_from_result(const QByteArray& text, gcode::machine_settings& out, QString* why);
