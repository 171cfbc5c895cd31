#include "nc_job_panel.h"

nc_job_panel::nc_job_panel(console_context& ctx) : ctx(ctx) {}

int nc_job_panel::cnc_set_tool(QObject*) { return 0; }
int nc_job_panel::cnc_select_file() { return 1; }
void nc_job_panel::cnc_parser_string() {}
void nc_job_panel::cnc_start() {}
void nc_job_panel::cnc_stop() {}
void nc_job_panel::cnc_continue() {}
void nc_job_panel::cnc_reset() {}
void nc_job_panel::cnc_home() {}
int nc_job_panel::cnc_parser_stop(int, int) { return 1; }
void nc_job_panel::cnc_tsak_stop(int, int) {}
void nc_job_panel::cnc_calibration() {}
void nc_job_panel::offer_resume(const char*, uint32_t, int) {}
