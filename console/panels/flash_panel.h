// The flash group: choose a file and a target, then write, erase or read it
// back on the board worker's job thread, with a progress bar and an end message.
//
// Test seam: set_file_chooser() installs a function that answers the
// open-file dialog instead of showing it (it gets the parent, the caption,
// the start path and the filter, and returns the chosen path or an empty
// string for a cancel). An empty function restores the real dialog.
#pragma once

#include <QObject>
#include <QString>
#include <QTime>
#include <cstdint>
#include <functional>

#include "console_context.h"
#include "pelk_types.h"

class QButtonGroup;
class QWidget;

using file_chooser =
    std::function<QString(QWidget* parent, const QString& caption, const QString& start, const QString& filter)>;
void set_file_chooser(file_chooser chooser);

class flash_panel : public QObject {
    Q_OBJECT
public:
    // Most bytes a read-back fetches: the bar's maximum for a read.
    static constexpr uint32_t read_limit = 209715200;

    // target: fpga, fram, sd, mcu, spindle, dc (ids 0 .. 5); file_type: bin, img, txt.
    flash_panel(const console_context& ctx, QButtonGroup* target, QButtonGroup* file_type, QObject* parent = nullptr);

    int sf_select_file();
    int sf_update();
    int sf_earse();
    int sf_read();
    int sf_stop(int id, int ret);
    int sf_timer_update_bar();
    // The open-file dialog (also the NC program's); the chosen path, empty when cancelled.
    QString choose_file();
    // The bar back to 0 with the range 0 .. total.
    void reset_bar(uint32_t total);

    // Where a read-back of target (with file type) lands, given the text of
    // the path field: "./read_file/" and the label and suffix for an empty
    // field, else the part after the last "/".
    static QString read_back_path(int target, int file_type, const QString& field);

public slots:
    // The connected board's application is erased: the MCU may be written.
    void set_mcu_erased(bool erased) { mcu_erased = erased; }
    // The controller's log file on the card: chosen as the SD target and
    // erased (clear) or read back.
    void controller_log(bool clear);
    // Formats the card through the worker, timed like a transfer.
    void format_card();

signals:
    // A job of this panel is under way (the connection stays as it is).
    void transfer_running(bool running);

private:
    // Copies path into the request's file-name field; logs and returns false
    // when it does not fit.
    bool set_file_name(_flash_msg& msg, const QString& path);
    // True when writing to dest would replace the chosen source file.
    bool overwrites_source(const QString& dest) const;
    void submit(const _flash_msg& msg, const char* action);
    void set_buttons_enabled(bool on);

    console_context ctx;
    QButtonGroup* target_group;
    QButtonGroup* file_type_group;
    QString last_file;
    uint32_t sf_total = 0;
    quint64 done = 0;         // bytes the job under way has reported
    bool mcu_erased = false;  // of the board connected
    QTime sf_time;            // started by every submission, read at its end
};
