// Service actions on the controller's stored data: parameters, machine
// identifier and type, the AR material changer and the SD card log.
#pragma once

struct console_context;

class service_panel {
public:
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

private:
    console_context& ctx;
};
