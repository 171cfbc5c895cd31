// The toolpath preview wired into the console: it watches the NC path field
// and loads every existing program named there (off the GUI thread) into
// the preview window, which it opens; it follows the state poll through the
// form (executing line, machine position, program running) for the
// executed part, the tool marker and the job's time; it checks a program
// before its job starts; and it puts a button that reopens the window and
// the time into the status bar.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

#include "board_settings.h"
#include "job_clock.h"
#include "toolpath_loader.h"

class QLabel;
class QStatusBar;
class QToolButton;
class toolpath_window;
#include "console_context.h"

class toolpath_preview : public QObject {
    Q_OBJECT
public:
    // ctx's form and window must exist; the status bar gets the button and the time.
    toolpath_preview(const console_context& ctx, QStatusBar* bar);
    ~toolpath_preview() override;

    // The check before a job of path from start_line, against the settings
    // the board gives now: go(true) when it may go on. A program that cannot
    // run as it is gets the question first.
    void before_start(const QString& path, int start_line, std::function<void(bool)> go);

    void open_window();
    toolpath_window* window() { return win_; }
    toolpath_loader& loader() { return loader_; }
    const job_clock& clock() const { return clock_; }
    toolpath_ptr current() const { return current_; }
    QLabel* time_label() { return time_; }
    QToolButton* button() { return button_; }

public slots:
    // A new connection (its count): a job's end is only seen on the
    // connection it ran on.
    void connection_opened(unsigned serial) { connection_ = serial; }

signals:
    // A result text that was waiting when the settings were asked for.
    void results_found(const QByteArray& text);

protected:
    bool event(QEvent* e) override;

private:
    void retranslate();
    void path_changed();
    // Asks the board for its settings; then(settings) on this thread.
    void with_settings(std::function<void()> then);
    bool check_and_arm(const QString& path, int start_line);
    void begin_load(const QString& path);
    void adopt(toolpath_ptr d);
    void poll_seen();
    void show_time();
    double now() const { return double(wall_.nsecsElapsed()) / 1e9; }

    console_context ctx;
    toolpath_loader loader_;
    toolpath_window* win_;
    QToolButton* button_;
    QLabel* time_;
    QTimer settle_;    // a path being typed is loaded once it stops changing
    QTimer progress_;  // the load's progress into the window
    QTimer seen_;      // one look at the form after each poll
    QTimer tick_;      // the time, and a watch on the connection, while a job runs
    QElapsedTimer wall_;
    job_clock clock_;
    unsigned seen_connection_ = 0;  // the connection the last poll came from
    unsigned connection_ = 0;       // the connection open now
    toolpath_ptr current_;
    machine_settings_source settings_;
};
