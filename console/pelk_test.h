// The console's one window. It works on the board object it is given (the
// library's default board in the program; a board on a simulated one in
// tests), owns the worker, the timers, the button groups and the flags,
// wires the form's signals to its slots, and hands every slot to the panel
// that does the work.
#pragma once

#include <QMainWindow>
#include <memory>

#include "cmd_history.h"
#include "console_context.h"
#include "message_log.h"

class QButtonGroup;
class QTimer;
class connection_panel;
class flash_panel;
class peripheral_panel;
class nc_job_panel;
class machine_state_panel;
class service_panel;
class toolpath_preview;

class pelk_test : public QMainWindow {
    Q_OBJECT
public:
    // board must outlive the window.
    explicit pelk_test(cnc::board& board, QWidget* parent = nullptr);
    ~pelk_test() override;

    // For tests and tools: the shared state and the form.
    console_context& context() { return ctx; }
    Ui::pelk_testClass* form() { return ui.get(); }
    toolpath_preview* preview() { return toolpath; }

public slots:
    int sf_select_file();
    int sf_update();
    int sf_earse();
    int sf_read();
    int sf_stop(int id, int ret);
    int sf_timer_update_bar();
    int mcu_set_rgb_fh(int rgb);
    int mcu_set_rgb_bh(int rgb);
    int mcu_set_rgb_progress(int p);
    int mcu_set_rgb_led();
    int mcu_set_led(int p);
    int mcu_set_led_rgb();
    int mcu_set_rgb_progress_value();
    int mcu_set_rgb_fh_value();
    int mcu_set_rgb_bh_value();
    int mcu_set_buzzer_duty(int buzzer);
    int mcu_set_buzzer_period();
    int mcu_set_output_tool_change_switch_open();
    int mcu_set_output_tool_change_switch_close();
    int mcu_set_output_dust_switch_open();
    int mcu_set_output_dust_switch_close();
    int cnc_set_tool();
    int cnc_select_file();
    void cnc_parser_string();
    void cnc_start();
    void cnc_stop();
    void cnc_continue();
    void cnc_reset();
    void cnc_home();
    void cnc_timer_update_state();
    int cnc_parser_stop(int id, int ret);
    void cnc_tsak_stop(int type, int ret);
    void cnc_calibration();
    void cnc_axis_step();
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
    void set_eth_connect_type(int state);
    void start_eth_connect();
    void start_eth_poll();
    void sdcard_mkfs();
    void sdcard_log_clear();
    void sdcard_log_read();
    void cnc_rgb_select_color();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void connect_signals_and_groups();

    std::unique_ptr<Ui::pelk_testClass> ui;
    console_context ctx;
    message_log log;
    cmd_history history;

    task_request_thread* task_thread = nullptr;
    QTimer* state_timer = nullptr;
    QTimer* progress_timer = nullptr;
    QButtonGroup* grp_flash_target = nullptr;
    QButtonGroup* grp_flash_file_type = nullptr;
    QButtonGroup* grp_tool_change_type = nullptr;
    QButtonGroup* grp_run_state = nullptr;
    QButtonGroup* grp_color = nullptr;

    std::unique_ptr<connection_panel> connection;
    std::unique_ptr<flash_panel> flash;
    std::unique_ptr<peripheral_panel> peripherals;
    std::unique_ptr<nc_job_panel> nc_job;
    std::unique_ptr<machine_state_panel> machine_state;
    std::unique_ptr<service_panel> service;
    toolpath_preview* toolpath = nullptr;  // child of the window
};
