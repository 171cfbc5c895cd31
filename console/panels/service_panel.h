// Service actions on the controller's stored data: parameters, machine
// identifier and type, the AR material changer and the SD card log.
#pragma once

#include <QByteArray>
#include <QString>

struct console_context;

class service_panel {
public:
    static constexpr int id_max = 15;  // identifier bytes kept; the field's 16th stays zero
    static constexpr int ar_log_size = 4000;

    explicit service_panel(console_context& ctx);

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

private:
    void log_result(int rc);     // "success." / "failed."
    void log_ar_result(int rc);  // the changer's lines carry no full stop
    bool ar_ready(const char* closed_line);
    // Checks the SD target and the txt type and names the controller log.
    void select_controller_log();

    console_context& ctx;
};
