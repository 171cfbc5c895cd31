// Service actions on the controller's stored data: parameters, machine
// identifier and type, the AR material changer and the SD card log.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

#include "cnc_board.h"
#include "console_context.h"
#include "logged_call.h"

class service_panel : public QObject {
    Q_OBJECT
public:
    static constexpr int id_max = 15;  // identifier bytes kept; the field's 16th stays zero
    static constexpr int ar_log_size = 4000;

    explicit service_panel(const console_context& ctx, QObject* parent = nullptr);

    void cnc_param_read();
    void cnc_param_write();
    void cnc_param_set();
    void cnc_param_get();
    void cnc_set_machine_id();
    void cnc_set_machine_type();
    void ar_start_change();
    void ar_close_cylinder();
    void ar_open_cylinder();
    void ar_go_home();
    void ar_get_log();
    void sdcard_mkfs();
    void sdcard_log_clear();
    void sdcard_log_read();

    // The identifier's UTF-8 bytes as stored: whole characters only, at most
    // id_max bytes.
    static QByteArray identifier_bytes(const QString& text);

signals:
    // The controller's log file on the card: erase it (clear) or read it back.
    void controller_log_requested(bool clear);
    // Format the card (confirmed).
    void card_format_requested();

private:
    // The "CNC" announcement, the call, the result line (the changer's lines
    // carry no full stop), then after.
    void send(const QByteArray& text, std::function<int(cnc::board&)> op,
              result_line shape = result_line::with_stop, std::function<void(int)> after = {});
    bool ar_ready(const char* closed_line);

    console_context ctx;
};
