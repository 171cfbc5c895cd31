// The machine state display: the 500 ms status poll (asked of the worker,
// shown when it answers), the alarm box, the NC progress bars, probe
// results, and the jog buttons.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "board_worker.h"
#include "console_context.h"
#include "pelk_types.h"

class QButtonGroup;

class machine_state_panel : public QObject {
    Q_OBJECT
public:
    // run_state: the run-state boxes, bits 0 .. 10.
    machine_state_panel(const console_context& ctx, QButtonGroup* run_state, QObject* parent = nullptr);

    // Asks for the status unless the last request is still unanswered.
    void cnc_timer_update_state();
    void cnc_axis_step(QObject* sender);

    // One jog line "G1 <axis><move> F<feed>", logged and sent; the distance
    // is read as a number and truncated toward zero.
    void jog_axis(const QString& axis, const QString& sign, const QString& feed, const QString& distance);
    // Appends the "PRB" member of a result text to "results.csv" in the
    // working directory (header first when the file is new). Text that is not
    // JSON or has no "PRB" writes nothing.
    static void store_probe_results(const char* text);

    // The last result text the board gave.
    const QByteArray& results() const { return last_results; }
    // The status the last poll showed.
    const cnc_status& last_status() const { return status; }

public slots:
    // A new connection: a standing alarm is shown to it once more.
    void connection_opened();
    // The NC program's size, the download bar's range.
    void set_program_size(quint32 bytes) { program_size = bytes; }
    // A result text read elsewhere (logged and stored as the poll does).
    void take_results(const QByteArray& text);

signals:
    // Each status shown, after the form shows it.
    void status_shown(const cnc_status& status);
    // The machine is idle on a connection: name, line and flag of the
    // board's interrupted job, for the resume offer.
    void idle_seen(const QByteArray& name, quint32 line, int flag);
    // A result text the board gave, after it was logged.
    void results_taken(const QByteArray& text);

private:
    void polled(const board_poll& p);
    void show_status(const cnc_status& s);
    void raise_alarm(uint16_t code);

    console_context ctx;
    QButtonGroup* run_state;
    cnc_status status{};
    QByteArray last_results;
    quint32 program_size = 0;
    uint16_t shown_alarm = 0;  // the alarm already shown on this connection; 0 none
    bool box_open = false;     // the alarm box or the resume question is on screen
    bool asking = false;       // a poll is on its way
};
