// What the window shares with its panels: the form, the board object, the
// worker, the message log, the window's flags and the state more than one
// panel reads. The window owns everything here; panels keep a reference.
#pragma once

#include <QString>
#include <QTime>
#include <atomic>
#include <cstdint>

#include "cnc_board.h"

class QButtonGroup;
class QMainWindow;
class message_log;
class cmd_history;
class task_request_thread;
namespace Ui {
class pelk_testClass;
}

// A connection to a controller is open: set by a connect that found a valid
// product, cleared by every close and by closing the window. Almost every
// panel action does nothing while it is false. GUI thread only in practice;
// atomic so that a stray reader elsewhere is still well defined.
extern std::atomic<bool> device_open;

// Actions of the flash panel that other panels use.
class flash_actions {
public:
    virtual int sf_earse() = 0;
    virtual int sf_read() = 0;
    // The open-file dialog; returns the chosen path, empty when cancelled.
    virtual QString choose_file() = 0;

protected:
    ~flash_actions() = default;
};

// Actions of the NC job panel that the machine state display uses.
class nc_job_actions {
public:
    // The resume offer after a new connection (name, line and flag of the
    // controller's interrupted job).
    virtual void offer_resume(const char* name, uint32_t line, int flag) = 0;

protected:
    ~nc_job_actions() = default;
};

struct console_context {
    explicit console_context(cnc::board& board) : board(board) {}

    cnc::board& board;                     // every board call goes here; the window's owner keeps it
    QMainWindow* window = nullptr;         // parent of dialogs and boxes
    Ui::pelk_testClass* ui = nullptr;      // every widget of the form, by object name
    task_request_thread* task_thread = nullptr;
    message_log* log = nullptr;            // log->log_message(tag, sub_tag, fmt, ...)
    cmd_history* history = nullptr;

    // Button groups made by the window's constructor.
    QButtonGroup* grp_flash_target = nullptr;     // sf_type_*: 0 fpga .. 5 dc
    QButtonGroup* grp_flash_file_type = nullptr;  // sf_file_type_*: 0 bin, 1 img, 2 txt
    QButtonGroup* grp_tool_change_type = nullptr; // cnc_tool_t 0, _q 1, _tq 2
    QButtonGroup* grp_run_state = nullptr;        // run-state boxes, bits 0 .. 10
    QButtonGroup* grp_color = nullptr;            // rb_color0 .. 5

    // Window flags.
    bool mcu_erased = false;       // the connected board reported firmware major 0
    bool static_connect = false;   // connect to the link's fixed address
    bool newly_connected = false;  // armed by a connect, consumed by the resume offer
    unsigned connections = 0;      // connects so far: tells one connection from the next

    // Started on every flash submission, the SD format included, and read
    // when the job ends. (The job's progress is the worker's.)
    QTime sf_time;

    // The NC file last opened (NC job panel), read by the state display.
    QString nc_file_path;
    uint32_t nc_file_size = 0;
    uint32_t nc_line_count = 0;

    // Result text of the controller, filled by the state poll.
    static constexpr int results_size = 10240;
    char results_buffer[results_size] = {};

    // Cross-panel actions, set by the window once the panels exist.
    flash_actions* flash = nullptr;
    nc_job_actions* nc_job = nullptr;
};
