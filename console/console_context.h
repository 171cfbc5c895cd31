// What every panel is handed: the window (parent of dialogs and boxes), the
// form, the message log and the board worker. These are services, not
// state: each panel keeps its own state and tells the others what they need
// through signals. The window owns all of them.
#pragma once

#include <atomic>

class QMainWindow;
class message_log;
class board_worker;
namespace Ui {
class pelk_testClass;
}

// A connection to a controller is open: set by a connect that found a valid
// product, cleared by every close and by closing the window. Almost every
// panel action does nothing while it is false. GUI thread only in practice;
// atomic so that a stray reader elsewhere is still well defined.
extern std::atomic<bool> device_open;

struct console_context {
    QMainWindow* window = nullptr;     // parent of dialogs and boxes
    Ui::pelk_testClass* ui = nullptr;  // every widget of the form, by object name
    message_log* log = nullptr;        // log->log_message(tag, sub_tag, fmt, ...)
    board_worker* worker = nullptr;    // every board call goes through it
};
