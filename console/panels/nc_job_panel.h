// The NC job: choose and start an NC program, stop, continue, reset and
// home, command lines, tool changes, the resume offer and the job's end.
// It keeps a running job safe from a stray click: 加工 cannot restart a
// running job, and 回零, 复位 or a new job while one is paused ask first.
//
// Test seam: set_file_chooser() replaces the open-file dialog that
// cnc_select_file runs with a function that returns the path to use (empty:
// cancelled). An empty function restores the dialog. Only tests install a
// chooser.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "cnc_board.h"
#include "console_context.h"

class QButtonGroup;
class cmd_history;

using nc_file_chooser = std::function<QString()>;

class nc_job_panel : public QObject {
    Q_OBJECT
public:
    // Asked before 加工 starts a job (path, start line); it answers through
    // go(true) to start, go(false) to keep it from starting, now or later.
    using start_gate = std::function<void(const QString& path, int line, std::function<void(bool)> go)>;

    // tool_change_type: T, Q, T&Q (ids 0 .. 2); pick_file: the open-file dialog.
    nc_job_panel(const console_context& ctx, QButtonGroup* tool_change_type, cmd_history& history,
                 std::function<QString()> pick_file, QObject* parent = nullptr);

    static void set_file_chooser(nc_file_chooser chooser);
    void set_start_gate(start_gate g) { gate = std::move(g); }

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

    // Remembers path as the NC file and takes its size and line count from
    // the board library's inspection of it (no file is held in memory). -1 when it cannot be
    // opened or is too large for the progress bars; 0 otherwise, also for an
    // empty path.
    int open_nc_file(const QString& path);
    // Both NC bars back to 0, ranges from the file's size and line count.
    void reset_nc_bars();
    // Opens the file and queues the job for the worker.
    void start_nc_process(const QString& path, int start_line, int check);

    // A job is under way on the board: its program on its way, or running.
    bool job_running() const;
    // The board holds a job paused.
    bool job_paused() const;
    // A new connection has not yet been offered its resume.
    bool resume_offer_pending() const { return resume_armed; }
    const QString& nc_file_path() const { return file_path; }
    uint32_t nc_line_count() const { return line_count; }

public slots:
    // The resume offer when the machine is idle on a new connection (name,
    // line and flag of the controller's interrupted job).
    void offer_resume(const QByteArray& name, quint32 line, int flag);
    void connection_opened(unsigned serial);
    void connection_closed();
    // Each status the display shows: the job's state.
    void status_shown(const cnc_status& status);
    void results_taken(const QByteArray& text) { last_results = text; }

signals:
    // An NC program was opened: its size in bytes.
    void program_opened(quint32 bytes);

private:
    // One machine-control action: the "CNC" line, the call, the result line.
    void control_action(const char* what, int (cnc::board::*op)());
    // Asks before an action that would end a paused (or running) job; true to go on.
    bool confirm_over_job(const QString& action);
    void update_start_button();

    console_context ctx;
    QButtonGroup* tool_change_type;
    cmd_history& history;
    std::function<QString()> pick_file;
    start_gate gate;
    QString file_path;
    uint32_t file_size = 0;
    uint32_t line_count = 0;
    QByteArray last_results;
    unsigned serial = 0;         // the connection now open
    bool resume_armed = false;   // a new connection not yet offered its resume
    bool question_open = false;  // the resume question is on screen
    bool starting = false;       // the check before a start is under way
    bool job_expected = false;   // a job was started and the board has not been seen idle since
    bool job_ended = false;      // its download has ended: the board's state decides from here
    uint32_t run_state = 0;      // of the last status shown
};
