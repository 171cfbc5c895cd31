// The machine's rates, accelerations and travel for checks and estimates:
// the connected board's own ("$$", a "settings" member in its result text),
// else the defaults.
#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

#include "gcode/settings.h"

#include "cnc_board.h"

struct machine_settings_source {
    gcode::machine_settings settings = gcode::machine_settings::defaults();
    bool from_board = false;
    QString why;  // why the defaults apply, when a board was asked
};

// What the board said to "$$": a result text that was already waiting (to be
// handed on as the state poll would, so "$$" takes nothing from anyone),
// then its answer.
struct settings_reply {
    bool asked = false;     // a connection was open
    bool answered = false;  // "$$" went out and its answer was read
    QByteArray waiting, answer;
};
Q_DECLARE_METATYPE(settings_reply)

// On the board thread: asks dev when open, else nothing.
settings_reply ask_machine_settings(cnc::board& dev, bool open);
// The settings a reply gives: the board's own, else the defaults with why.
machine_settings_source settings_from_reply(const settings_reply& reply);

// The "settings" member of a result text applied over the defaults; false
// with why when there is none or it cannot be used.
bool settings_from_result(const QByteArray& text, gcode::machine_settings& out, QString* why);
