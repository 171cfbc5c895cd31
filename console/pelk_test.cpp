#include "pelk_test.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QIntValidator>
#include <QKeyEvent>
#include <QThread>
#include <QTimer>

#include "display_boxes.h"
#include "field_hints.h"
#include "panels/connection_panel.h"
#include "panels/flash_panel.h"
#include "panels/machine_state_panel.h"
#include "panels/nc_job_panel.h"
#include "panels/peripheral_panel.h"
#include "panels/service_panel.h"
#include "task_request_thread.h"
#include "toolpath_preview.h"
#include "ui_pelk_test.h"

std::atomic<bool> device_open{false};

namespace {

constexpr int state_period_ms = 500;
constexpr int progress_period_ms = 100;
constexpr unsigned long startup_wait_ms = 1000;

const char* const plain_text_style = "QLineEdit{background-color:transparent}QLineEdit{border-width:0;border-style:outset}";

Ui::pelk_testClass* build_form(QMainWindow* window)
{
    auto* form = new Ui::pelk_testClass;
    form->setupUi(window);
    return form;
}

QButtonGroup* make_group(QObject* parent, std::initializer_list<QAbstractButton*> buttons, bool exclusive = true)
{
    auto* group = new QButtonGroup(parent);
    group->setExclusive(exclusive);
    int id = 0;
    for (QAbstractButton* b : buttons) group->addButton(b, id++);
    return group;
}

}  // namespace

pelk_test::pelk_test(cnc::board& board, QWidget* parent)
    : QMainWindow(parent), ui(build_form(this)), ctx(board), log(ui->debug_edit)
{
    ctx.window = this;
    ctx.ui = ui.get();
    ctx.log = &log;
    ctx.history = &history;
    ctx.mcu_erased = false;
    connection = std::make_unique<connection_panel>(ctx);
    flash = std::make_unique<flash_panel>(ctx);
    peripherals = std::make_unique<peripheral_panel>(ctx);
    nc_job = std::make_unique<nc_job_panel>(ctx);
    machine_state = std::make_unique<machine_state_panel>(ctx);
    service = std::make_unique<service_panel>(ctx);
    ctx.flash = flash.get();
    ctx.nc_job = nc_job.get();

    setWindowTitle("TZV DUZ2033");
    for (QLineEdit* e : {ui->cnc_state_spd0, ui->cnc_state_spd1, ui->cnc_state_tool0, ui->cnc_state_tool1})
        e->setStyleSheet(plain_text_style);
    add_field_hints(ui.get());
    keep_ticked_boxes_readable(ui.get());

    connect_signals_and_groups();
    toolpath = new toolpath_preview(ctx, ui->statusBar);
    nc_job->set_start_gate([this](const QString& path, int line) { return toolpath->before_start(path, line); });

    state_timer = new QTimer(this);
    connect(state_timer, &QTimer::timeout, this, &pelk_test::cnc_timer_update_state);
    state_timer->start(state_period_ms);
    progress_timer = new QTimer(this);
    connect(progress_timer, &QTimer::timeout, this, &pelk_test::sf_timer_update_bar);
    progress_timer->start(progress_period_ms);

    flash->reset_bar(1);

    if (!task_thread) {
        task_thread = new task_request_thread(board, this);
        ctx.task_thread = task_thread;
        connect(task_thread, &task_request_thread::task_finished, this, &pelk_test::sf_stop);
        connect(task_thread, &task_request_thread::cnc_task_finished, this, &pelk_test::cnc_tsak_stop);
        task_thread->start();
    }

    QThread::msleep(startup_wait_ms);
    start_eth_poll();

    ctx.mcu_erased = false;
    ctx.static_connect = false;
    ctx.newly_connected = false;
    device_open = false;
}

pelk_test::~pelk_test()
{
    // The worker goes first: a job still running reports to this window
    // until it ends.
    delete task_thread;
    task_thread = nullptr;
    ctx.task_thread = nullptr;
}

void pelk_test::connect_signals_and_groups()
{
    auto* u = ui.get();
    connect(u->btn_eth_connect, &QPushButton::clicked, this, &pelk_test::start_eth_connect);
    connect(u->btn_eth_poll, &QPushButton::clicked, this, &pelk_test::start_eth_poll);

    grp_flash_target = make_group(this, {u->sf_type_fpga, u->sf_type_fram, u->sf_type_sd, u->sf_type_mcu,
                                         u->sf_type_spindle, u->sf_type_dc});
    grp_flash_file_type = make_group(this, {u->sf_file_type_bin, u->sf_file_type_img, u->sf_file_type_txt});
    u->sf_type_fpga->setChecked(true);
    u->sf_file_type_bin->setChecked(true);
    ctx.grp_flash_target = grp_flash_target;
    ctx.grp_flash_file_type = grp_flash_file_type;
    connect(u->sf_select, &QPushButton::clicked, this, &pelk_test::sf_select_file);
    connect(u->sf_update, &QPushButton::clicked, this, &pelk_test::sf_update);
    connect(u->sf_earse, &QPushButton::clicked, this, &pelk_test::sf_earse);
    connect(u->sf_read, &QPushButton::clicked, this, &pelk_test::sf_read);

    connect(u->rgb_slider_fh, &QSlider::valueChanged, this, &pelk_test::mcu_set_rgb_fh);
    connect(u->rgb_slider_bh, &QSlider::valueChanged, this, &pelk_test::mcu_set_rgb_bh);
    connect(u->rgb_slider_p, &QSlider::valueChanged, this, &pelk_test::mcu_set_rgb_progress);
    for (QSlider* s : {u->rgb_slider_r, u->rgb_slider_g, u->rgb_slider_b})
        connect(s, &QSlider::valueChanged, this, &pelk_test::mcu_set_led);
    connect(u->rgb_led_set, &QPushButton::clicked, this, &pelk_test::mcu_set_rgb_led);
    connect(u->rgb_value_p, &QLineEdit::returnPressed, this, &pelk_test::mcu_set_rgb_progress_value);
    connect(u->rgb_value_fh, &QLineEdit::returnPressed, this, &pelk_test::mcu_set_rgb_fh_value);
    connect(u->rgb_value_bh, &QLineEdit::returnPressed, this, &pelk_test::mcu_set_rgb_bh_value);
    for (QLineEdit* e : {u->rgb_value_r, u->rgb_value_g, u->rgb_value_b})
        connect(e, &QLineEdit::returnPressed, this, &pelk_test::mcu_set_led_rgb);
    for (QSlider* s : {u->rgb_slider_fh, u->rgb_slider_bh}) {
        s->setRange(0, 65535);
        s->setSingleStep(1000);
    }
    for (QSlider* s : {u->rgb_slider_p, u->rgb_slider_r, u->rgb_slider_g, u->rgb_slider_b}) {
        s->setRange(0, 100);
        s->setSingleStep(1);
    }

    connect(u->buzzer_slider_duty, &QSlider::valueChanged, this, &pelk_test::mcu_set_buzzer_duty);
    u->buzzer_slider_duty->setRange(0, 100);
    u->buzzer_slider_duty->setSingleStep(1);
    connect(u->buzzer_btn_period, &QPushButton::clicked, this, &pelk_test::mcu_set_buzzer_period);
    u->buzzer_edit_period->setValidator(new QIntValidator(1000, 100000, this));

    connect(u->cnc_tool_get, &QPushButton::clicked, this, &pelk_test::mcu_set_output_tool_change_switch_open);
    connect(u->cnc_tool_put, &QPushButton::clicked, this, &pelk_test::mcu_set_output_tool_change_switch_close);
    for (QPushButton* b : {u->cnc_tool_0, u->cnc_tool_1, u->cnc_tool_2, u->cnc_tool_3, u->cnc_tool_4, u->cnc_tool_5,
                           u->cnc_tool_6, u->cnc_tool_7})
        connect(b, &QPushButton::clicked, this, &pelk_test::cnc_set_tool);
    grp_tool_change_type = make_group(this, {u->cnc_tool_t, u->cnc_tool_q, u->cnc_tool_tq});
    u->cnc_tool_t->setChecked(true);
    ctx.grp_tool_change_type = grp_tool_change_type;

    connect(u->cnc_dust_on, &QPushButton::clicked, this, &pelk_test::mcu_set_output_dust_switch_open);
    connect(u->cnc_dust_off, &QPushButton::clicked, this, &pelk_test::mcu_set_output_dust_switch_close);
    connect(u->cnc_input, &QLineEdit::returnPressed, this, &pelk_test::cnc_parser_string);
    connect(u->cnc_file_path, &QLineEdit::returnPressed, this, &pelk_test::cnc_select_file);
    connect(u->cnc_start, &QPushButton::clicked, this, &pelk_test::cnc_start);
    connect(u->cnc_stop, &QPushButton::clicked, this, &pelk_test::cnc_stop);
    connect(u->cnc_continue, &QPushButton::clicked, this, &pelk_test::cnc_continue);
    connect(u->cnc_reset, &QPushButton::clicked, this, &pelk_test::cnc_reset);
    connect(u->cnc_home, &QPushButton::clicked, this, &pelk_test::cnc_home);
    u->cnc_input->installEventFilter(this);

    grp_run_state = make_group(this,
                               {u->cnc_run_state_parser, u->cnc_run_state_nc, u->cnc_run_state_conc,
                                u->cnc_run_state_pause, u->cnc_run_state_home, u->cnc_run_state_tool,
                                u->cnc_run_state_probe, u->cnc_run_state_move, u->cnc_run_state_spd,
                                u->cnc_run_state_sw, u->cnc_run_state_ar},
                               false);
    ctx.grp_run_state = grp_run_state;
    for (QAbstractButton* b : grp_run_state->buttons()) b->setEnabled(false);
    for (QCheckBox* b : {u->cnc_run_state_idle, u->cnc_state_pressure, u->cnc_state_door, u->cnc_state_dust,
                         u->cnc_state_cool0, u->cnc_state_cool1, u->cnc_state_drawer})
        b->setEnabled(false);

    for (QPushButton* b : {u->cnc_axis_x_add, u->cnc_axis_x_sub, u->cnc_axis_y_add, u->cnc_axis_y_sub,
                           u->cnc_axis_z_add, u->cnc_axis_z_sub, u->cnc_axis_a_add, u->cnc_axis_a_sub,
                           u->cnc_axis_b_add, u->cnc_axis_b_sub, u->cnc_axis_c_add, u->cnc_axis_c_sub,
                           u->cnc_axis_u_add, u->cnc_axis_u_sub, u->cnc_axis_v_add, u->cnc_axis_v_sub,
                           u->cnc_axis_w_add, u->cnc_axis_w_sub})
        connect(b, &QPushButton::clicked, this, &pelk_test::cnc_axis_step);
    u->cnc_axis_travel_length->setText("4");
    u->cnc_axis_feed->setText("1000");

    connect(u->ar_start, &QPushButton::clicked, this, &pelk_test::ar_start_change);
    connect(u->ar_open, &QPushButton::clicked, this, &pelk_test::ar_open_cylinder);
    connect(u->ar_close, &QPushButton::clicked, this, &pelk_test::ar_close_cylinder);
    connect(u->ar_home, &QPushButton::clicked, this, &pelk_test::ar_go_home);
    connect(u->ar_get_log, &QPushButton::clicked, this, &pelk_test::ar_get_log);
    connect(u->cnc_param_read, &QPushButton::clicked, this, &pelk_test::cnc_param_read);
    connect(u->cnc_param_write, &QPushButton::clicked, this, &pelk_test::cnc_param_write);
    connect(u->cnc_param_set, &QPushButton::clicked, this, &pelk_test::cnc_param_set);
    connect(u->cnc_param_load, &QPushButton::clicked, this, &pelk_test::cnc_param_get);
    connect(u->cbox_eth_static, &QCheckBox::stateChanged, this, &pelk_test::set_eth_connect_type);
    connect(u->cnc_machine_id_set, &QPushButton::clicked, this, &pelk_test::cnc_set_machine_id);
    connect(u->cnc_machine_type_set, &QPushButton::clicked, this, &pelk_test::cnc_set_machine_type);
    connect(u->cnc_sd_mkfs, &QPushButton::clicked, this, &pelk_test::sdcard_mkfs);
    connect(u->cnc_log_clear, &QPushButton::clicked, this, &pelk_test::sdcard_log_clear);
    connect(u->cnc_log_read, &QPushButton::clicked, this, &pelk_test::sdcard_log_read);
    connect(u->rgb_select, &QPushButton::clicked, this, &pelk_test::cnc_rgb_select_color);
    grp_color = make_group(this, {u->rb_color0, u->rb_color1, u->rb_color2, u->rb_color3, u->rb_color4, u->rb_color5});
    u->rb_color0->setChecked(true);
    ctx.grp_color = grp_color;
}

bool pelk_test::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->cnc_input && event->type() == QEvent::KeyPress) {
        int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            history.cmd_history_move(key == Qt::Key_Up, ui->cnc_input);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void pelk_test::closeEvent(QCloseEvent* event)
{
    device_open = false;
    event->accept();
}

// Each slot hands its work to the panel that owns it.
int pelk_test::sf_select_file() { return flash->sf_select_file(); }
int pelk_test::sf_update() { return flash->sf_update(); }
int pelk_test::sf_earse() { return flash->sf_earse(); }
int pelk_test::sf_read() { return flash->sf_read(); }
int pelk_test::sf_stop(int id, int ret) { return flash->sf_stop(id, ret); }
int pelk_test::sf_timer_update_bar() { return flash->sf_timer_update_bar(); }
int pelk_test::mcu_set_rgb_fh(int rgb) { return peripherals->mcu_set_rgb_fh(rgb); }
int pelk_test::mcu_set_rgb_bh(int rgb) { return peripherals->mcu_set_rgb_bh(rgb); }
int pelk_test::mcu_set_rgb_progress(int p) { return peripherals->mcu_set_rgb_progress(p); }
int pelk_test::mcu_set_rgb_led() { return peripherals->mcu_set_rgb_led(); }
int pelk_test::mcu_set_led(int p) { return peripherals->mcu_set_led(p); }
int pelk_test::mcu_set_led_rgb() { return peripherals->mcu_set_led_rgb(); }
int pelk_test::mcu_set_rgb_progress_value() { return peripherals->mcu_set_rgb_progress_value(); }
int pelk_test::mcu_set_rgb_fh_value() { return peripherals->mcu_set_rgb_fh_value(); }
int pelk_test::mcu_set_rgb_bh_value() { return peripherals->mcu_set_rgb_bh_value(); }
int pelk_test::mcu_set_buzzer_duty(int buzzer) { return peripherals->mcu_set_buzzer_duty(buzzer); }
int pelk_test::mcu_set_buzzer_period() { return peripherals->mcu_set_buzzer_period(); }
int pelk_test::mcu_set_output_tool_change_switch_open() { return peripherals->mcu_set_output_tool_change_switch_open(); }
int pelk_test::mcu_set_output_tool_change_switch_close() { return peripherals->mcu_set_output_tool_change_switch_close(); }
int pelk_test::mcu_set_output_dust_switch_open() { return peripherals->mcu_set_output_dust_switch_open(); }
int pelk_test::mcu_set_output_dust_switch_close() { return peripherals->mcu_set_output_dust_switch_close(); }
int pelk_test::cnc_set_tool() { return nc_job->cnc_set_tool(sender()); }
int pelk_test::cnc_select_file() { return nc_job->cnc_select_file(); }
void pelk_test::cnc_parser_string() { nc_job->cnc_parser_string(); }
void pelk_test::cnc_start() { nc_job->cnc_start(); }
void pelk_test::cnc_stop() { nc_job->cnc_stop(); }
void pelk_test::cnc_continue() { nc_job->cnc_continue(); }
void pelk_test::cnc_reset() { nc_job->cnc_reset(); }
void pelk_test::cnc_home() { nc_job->cnc_home(); }
void pelk_test::cnc_timer_update_state() { machine_state->cnc_timer_update_state(); }
int pelk_test::cnc_parser_stop(int id, int ret) { return nc_job->cnc_parser_stop(id, ret); }
void pelk_test::cnc_tsak_stop(int type, int ret) { nc_job->cnc_tsak_stop(type, ret); }
void pelk_test::cnc_calibration() { nc_job->cnc_calibration(); }
void pelk_test::cnc_axis_step() { machine_state->cnc_axis_step(sender()); }
void pelk_test::cnc_param_read() { service->cnc_param_read(); }
void pelk_test::cnc_param_write() { service->cnc_param_write(); }
void pelk_test::cnc_param_set() { service->cnc_param_set(); }
void pelk_test::cnc_param_get() { service->cnc_param_get(); }
void pelk_test::cnc_set_machine_id() { service->cnc_set_machine_id(); }
void pelk_test::cnc_set_machine_type() { service->cnc_set_machine_type(); }
void pelk_test::ar_start_change() { service->ar_start_change(); }
void pelk_test::ar_close_cylinder() { service->ar_close_cylinder(); }
void pelk_test::ar_open_cylinder() { service->ar_open_cylinder(); }
void pelk_test::ar_go_home() { service->ar_go_home(); }
void pelk_test::ar_get_log() { service->ar_get_log(); }
void pelk_test::set_eth_connect_type(int state) { connection->set_eth_connect_type(state); }
void pelk_test::start_eth_connect() { connection->start_eth_connect(); }
void pelk_test::start_eth_poll() { connection->start_eth_poll(); }
void pelk_test::sdcard_mkfs() { service->sdcard_mkfs(); }
void pelk_test::sdcard_log_clear() { service->sdcard_log_clear(); }
void pelk_test::sdcard_log_read() { service->sdcard_log_read(); }
void pelk_test::cnc_rgb_select_color() { peripherals->cnc_rgb_select_color(); }
