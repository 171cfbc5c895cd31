// The NC job: choose and start an NC program, stop, continue, reset and
// home, command lines, tool changes, the resume offer and the job's end.
//
// Test seam: set_file_chooser() replaces the open-file dialog that
// cnc_select_file runs (the flash panel's choose_file) with a function that
// returns the path to use (empty: cancelled). An empty function restores the
// dialog. Only tests install a chooser.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "console_context.h"

class QObject;

using nc_file_chooser = std::function<QString()>;

class nc_job_panel : public nc_job_actions {
public:
    explicit nc_job_panel(console_context& ctx);

    static void set_file_chooser(nc_file_chooser chooser);
    // Asked before 加工 starts a job (path, start line); false keeps it from starting.
    void set_start_gate(std::function<bool(const QString&, int)> gate) { start_gate = std::move(gate); }

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

    // Remembers path as the NC file and takes its size and line count from
    // the board library's inspection of it (no file is held in memory). -1 when it cannot be
    // opened or is too large for the progress bars; 0 otherwise, also for an
    // empty path.
    int open_nc_file(const QString& path);
    // Both NC bars back to 0, ranges from the file's size and line count.
    void reset_nc_bars();
    // Opens the file and queues the job for the worker.
    void start_nc_process(const QString& path, int start_line, int check);

private:
    // One machine-control action: the "CNC" line, the call, the result line.
    void control_action(const char* what, int (cnc::board::*op)());

    console_context& ctx;
    bool question_open = false;  // the resume question is on screen
    std::function<bool(const QString&, int)> start_gate;
};
