// The machine state display: the 500 ms status poll, the alarm box, the
// NC progress bars, probe results, and the jog buttons.
#pragma once

#include "pelk_types.h"

struct console_context;
class QObject;

class machine_state_panel {
public:
    explicit machine_state_panel(console_context& ctx);

    void cnc_timer_update_state();
    void cnc_axis_step(QObject* sender);

private:
    console_context& ctx;
    cnc_status status{};
};
