// The NC job: choose and start an NC program, stop, continue, reset and
// home, command lines, tool changes, the resume offer and the job's end.
#pragma once

#include <QString>
#include <cstdint>

#include "console_context.h"

class QObject;

class nc_job_panel : public nc_job_actions {
public:
    explicit nc_job_panel(console_context& ctx);

    int cnc_set_tool(QObject* sender);
    int cnc_select_file();
    void cnc_parser_string();
    void cnc_start();
    void cnc_stop();
    void cnc_continue();
    void cnc_reset();
    void cnc_home();
    int cnc_parser_stop(int id, int ret);
    void cnc_tsak_stop(int type, int ret);
    void cnc_calibration();
    void offer_resume(const char* name, uint32_t line, int flag) override;

private:
    console_context& ctx;
};
