// The flash group: choose a file and a target, then write, erase or read it
// back on the worker thread, with a progress bar and an end message.
//
// Test seam: set_file_chooser() installs a function that answers the
// open-file dialog instead of showing it (it gets the parent, the caption,
// the start path and the filter, and returns the chosen path or an empty
// string for a cancel). An empty function restores the real dialog.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "console_context.h"
#include "pelk_types.h"

class QWidget;

using file_chooser =
    std::function<QString(QWidget* parent, const QString& caption, const QString& start, const QString& filter)>;
void set_file_chooser(file_chooser chooser);

class flash_panel : public flash_actions {
public:
    // Most bytes a read-back fetches: the bar's maximum for a read.
    static constexpr uint32_t read_limit = 209715200;

    explicit flash_panel(console_context& ctx);

    int sf_select_file();
    int sf_update();
    int sf_earse() override;
    int sf_read() override;
    int sf_stop(int id, int ret);
    int sf_timer_update_bar();
    QString choose_file() override;
    // The bar back to 0 with the range 0 .. total.
    void reset_bar(uint32_t total);

    // Where a read-back of target (with file type) lands, given the text of
    // the path field: "./read_file/" and the label and suffix for an empty
    // field, else the part after the last "/".
    static QString read_back_path(int target, int file_type, const QString& field);

private:
    // Copies path into the request's file-name field; logs and returns false
    // when it does not fit.
    bool set_file_name(_flash_msg& msg, const QString& path);
    // True when writing to dest would replace the chosen source file.
    bool overwrites_source(const QString& dest) const;
    void submit(const _flash_msg& msg, const char* action);
    void set_buttons_enabled(bool on);

    console_context& ctx;
    QString last_file;
    uint32_t sf_total = 0;
};
