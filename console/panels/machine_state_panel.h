// The machine state display: the 500 ms status poll, the alarm box, the
// NC progress bars, probe results, and the jog buttons.
#pragma once

#include <QString>
#include <array>

#include "console_context.h"
#include "pelk_types.h"

class QObject;

class machine_state_panel {
public:
    explicit machine_state_panel(console_context& ctx);

    void cnc_timer_update_state();
    void cnc_axis_step(QObject* sender);

    // One jog line "G1 <axis><move> F<feed>", logged and sent; the distance
    // is read as a number and truncated toward zero.
    void jog_axis(const QString& axis, const QString& sign, const QString& feed, const QString& distance);
    // Appends the "PRB" member of a result text to "results.csv" in the
    // working directory (header first when the file is new). Text that is not
    // JSON or has no "PRB" writes nothing.
    static void store_probe_results(const char* text);

private:
    void show_status(const cnc_status& s);
    void raise_alarm(uint16_t code);
    void read_results();

    console_context& ctx;
    cnc_status status{};
    uint16_t shown_alarm = 0;      // the alarm already shown on this connection; 0 none
    bool connection_seen = false;  // this poll has seen the current new connection
    bool box_open = false;         // the alarm box or the resume question is on screen
    std::array<char, console_context::results_size> scratch{};  // a result read before it is taken
};
