#include "machine_state_panel.h"

#include "console_context.h"

machine_state_panel::machine_state_panel(console_context& ctx) : ctx(ctx) {}

void machine_state_panel::cnc_timer_update_state() {}
void machine_state_panel::cnc_axis_step(QObject*) {}
