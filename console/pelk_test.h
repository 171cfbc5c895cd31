// The console's one window: a switchboard. It works on the board object it
// is given (the library's default board in the program; a board on a
// simulated one in tests) through one board worker on its own thread, makes
// the form, the button groups and the timers, builds the panels (each wires
// its own widgets), and connects the panels' signals to each other. Its
// slots hand each action to the panel that does the work.
#pragma once

#include <QMainWindow>
#include <memory>

#include "cmd_history.h"
#include "console_context.h"
#include "message_log.h"

class QButtonGroup;
class QTimer;
class board_worker;
class connection_panel;
class flash_panel;
class peripheral_panel;
class nc_job_panel;
class machine_state_panel;
class service_panel;
class toolpath_preview;
namespace cnc {
class board;
}

class pelk_test : public QMainWindow {
    Q_OBJECT
public:
    // board must outlive the window.
    explicit pelk_test(cnc::board& board, QWidget* parent = nullptr);
    ~pelk_test() override;

    // For tests and tools: the form, the worker, the panels.
    Ui::pelk_testClass* form() { return ui.get(); }
    board_worker& worker() { return *board_io; }
    cmd_history& command_history() { return history; }
    message_log& messages() { return log; }
    connection_panel& connection_part() { return *connection; }
    flash_panel& flash_part() { return *flash; }
    nc_job_panel& nc_job_part() { return *nc_job; }
    machine_state_panel& machine_state_part() { return *machine_state; }
    QButtonGroup* flash_target_group() { return grp_flash_target; }
    QButtonGroup* flash_file_type_group() { return grp_flash_file_type; }
    QButtonGroup* tool_change_type_group() { return grp_tool_change_type; }
    QButtonGroup* run_state_group() { return grp_run_state; }
    QButtonGroup* colour_group() { return grp_color; }
    toolpath_preview* preview() { return toolpath; }
    // The first discovery has answered and no board request waits for its answer.
    bool board_idle() const;

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
    // While a job runs the window asks first: the board carries on alone.
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void make_groups();
    void connect_panels();

    std::unique_ptr<Ui::pelk_testClass> ui;
    message_log log;
    cmd_history history;
    std::unique_ptr<board_worker> board_io;
    console_context ctx;

    QTimer* state_timer = nullptr;
    QTimer* progress_timer = nullptr;
    QButtonGroup* grp_flash_target = nullptr;
    QButtonGroup* grp_flash_file_type = nullptr;
    QButtonGroup* grp_tool_change_type = nullptr;
    QButtonGroup* grp_run_state = nullptr;
    QButtonGroup* grp_color = nullptr;
    bool first_list = false;  // the first discovery has answered

    std::unique_ptr<connection_panel> connection;
    std::unique_ptr<flash_panel> flash;
    std::unique_ptr<peripheral_panel> peripherals;
    std::unique_ptr<nc_job_panel> nc_job;
    std::unique_ptr<machine_state_panel> machine_state;
    std::unique_ptr<service_panel> service;
    toolpath_preview* toolpath = nullptr;  // child of the window
};
