#include "service_panel.h"

#include "console_context.h"

service_panel::service_panel(console_context& ctx) : ctx(ctx) {}

void service_panel::cnc_param_read() {}
void service_panel::cnc_param_write() {}
void service_panel::cnc_param_set() {}
void service_panel::cnc_param_get() {}
void service_panel::cnc_set_machine_id() {}
void service_panel::cnc_set_machine_type() {}
void service_panel::ar_start_change() {}
void service_panel::ar_close_cylinder() {}
void service_panel::ar_open_cylinder() {}
void service_panel::ar_go_home() {}
void service_panel::ar_get_log() {}
void service_panel::sdcard_mkfs() {}
void service_panel::sdcard_log_clear() {}
void service_panel::sdcard_log_read() {}
