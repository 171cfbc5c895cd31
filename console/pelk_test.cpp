#include "pelk_test.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

#include "board_worker.h"
#include "message_boxes.h"
#include "form_translation.h"
#include "language_button.h"
#include "display_boxes.h"
#include "field_hints.h"
#include "panels/connection_panel.h"
#include "panels/flash_panel.h"
#include "panels/machine_state_panel.h"
#include "panels/nc_job_panel.h"
#include "panels/peripheral_panel.h"
#include "panels/service_panel.h"
#include "toolpath_preview.h"
#include "ui_pelk_test.h"

std::atomic<bool> device_open{false};

namespace {

constexpr int state_period_ms = 500;
constexpr int progress_period_ms = 100;
constexpr int startup_wait_ms = 1000;  // before the first discovery: the window shows meanwhile

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
    : QMainWindow(parent), ui(build_form(this)), log(ui->debug_edit), board_io(std::make_unique<board_worker>(board))
{
    ctx.window = this;
    ctx.ui = ui.get();
    ctx.log = &log;
    ctx.worker = board_io.get();

    setWindowTitle("TZV DUZ2033");
    for (QLineEdit* e : {ui->cnc_state_spd0, ui->cnc_state_spd1, ui->cnc_state_tool0, ui->cnc_state_tool1})
        e->setStyleSheet(plain_text_style);
    make_groups();
    add_field_hints(ui.get());
    keep_ticked_boxes_readable(ui.get());

    connection = std::make_unique<connection_panel>(ctx);
    flash = std::make_unique<flash_panel>(ctx, grp_flash_target, grp_flash_file_type);
    peripherals = std::make_unique<peripheral_panel>(ctx, grp_tool_change_type, grp_color);
    nc_job = std::make_unique<nc_job_panel>(ctx, grp_tool_change_type, history, [this] { return flash->choose_file(); });
    machine_state = std::make_unique<machine_state_panel>(ctx, grp_run_state);
    service = std::make_unique<service_panel>(ctx);
    ui->cnc_input->installEventFilter(this);
    toolpath = new toolpath_preview(ctx, ui->statusBar);
    connect_panels();
    new language_button(ui->statusBar);

    state_timer = new QTimer(this);
    connect(state_timer, &QTimer::timeout, this, &pelk_test::cnc_timer_update_state);
    state_timer->start(state_period_ms);
    progress_timer = new QTimer(this);
    connect(progress_timer, &QTimer::timeout, this, &pelk_test::sf_timer_update_bar);
    progress_timer->start(progress_period_ms);

    flash->reset_bar(1);
    device_open = false;
    board_io->start();

    // The board gets its second before the first discovery; the window does
    // not wait for it.
    connect(board_io.get(), &board_worker::discovered, this, [this] { first_list = true; });
    QTimer::singleShot(startup_wait_ms, connection.get(), &connection_panel::start_eth_poll);
}

pelk_test::~pelk_test()
{
    // The worker goes first: a job still running reports until it ends, and
    // no answer may reach a panel after it is gone.
    board_io.reset();
}

void pelk_test::make_groups()
{
    auto* u = ui.get();
    grp_flash_target = make_group(this, {u->sf_type_fpga, u->sf_type_fram, u->sf_type_sd, u->sf_type_mcu,
                                         u->sf_type_spindle, u->sf_type_dc});
    grp_flash_file_type = make_group(this, {u->sf_file_type_bin, u->sf_file_type_img, u->sf_file_type_txt});
    u->sf_type_fpga->setChecked(true);
    u->sf_file_type_bin->setChecked(true);
    grp_tool_change_type = make_group(this, {u->cnc_tool_t, u->cnc_tool_q, u->cnc_tool_tq});
    u->cnc_tool_t->setChecked(true);
    grp_run_state = make_group(this,
                               {u->cnc_run_state_parser, u->cnc_run_state_nc, u->cnc_run_state_conc,
                                u->cnc_run_state_pause, u->cnc_run_state_home, u->cnc_run_state_tool,
                                u->cnc_run_state_probe, u->cnc_run_state_move, u->cnc_run_state_spd,
                                u->cnc_run_state_sw, u->cnc_run_state_ar},
                               false);
    // Display only: the user cannot toggle the state.
    for (QAbstractButton* b : grp_run_state->buttons()) b->setEnabled(false);
    for (QCheckBox* b : {u->cnc_run_state_idle, u->cnc_state_pressure, u->cnc_state_door, u->cnc_state_dust,
                         u->cnc_state_cool0, u->cnc_state_cool1, u->cnc_state_drawer})
        b->setEnabled(false);
    grp_color = make_group(this, {u->rb_color0, u->rb_color1, u->rb_color2, u->rb_color3, u->rb_color4, u->rb_color5});
    u->rb_color0->setChecked(true);
}

// What one panel tells the others.
void pelk_test::connect_panels()
{
    connect(connection.get(), &connection_panel::connected, flash.get(),
            [this](unsigned, bool erased) { flash->set_mcu_erased(erased); });
    connect(connection.get(), &connection_panel::connected, machine_state.get(),
            &machine_state_panel::connection_opened);
    connect(connection.get(), &connection_panel::connected, nc_job.get(),
            [this](unsigned serial, bool) { nc_job->connection_opened(serial); });
    connect(connection.get(), &connection_panel::connected, toolpath,
            [this](unsigned serial, bool) { toolpath->connection_opened(serial); });
    connect(connection.get(), &connection_panel::connection_closed, nc_job.get(), &nc_job_panel::connection_closed);
    connect(flash.get(), &flash_panel::transfer_running, connection.get(), &connection_panel::set_transfer_running);
    connect(service.get(), &service_panel::controller_log_requested, flash.get(), &flash_panel::controller_log);
    connect(service.get(), &service_panel::card_format_requested, flash.get(), &flash_panel::format_card);
    connect(nc_job.get(), &nc_job_panel::program_opened, machine_state.get(), &machine_state_panel::set_program_size);
    connect(machine_state.get(), &machine_state_panel::status_shown, nc_job.get(), &nc_job_panel::status_shown);
    connect(machine_state.get(), &machine_state_panel::idle_seen, nc_job.get(), &nc_job_panel::offer_resume);
    connect(machine_state.get(), &machine_state_panel::results_taken, nc_job.get(), &nc_job_panel::results_taken);
    connect(toolpath, &toolpath_preview::results_found, machine_state.get(), &machine_state_panel::take_results);
    nc_job->set_start_gate([this](const QString& path, int line, std::function<void(bool)> go) {
        toolpath->before_start(path, line, std::move(go));
    });
}

bool pelk_test::board_idle() const { return first_list && board_io->outstanding() == 0; }

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
    if (device_open && nc_job->job_running()) {
        const QByteArray text = tr("加工进行中，关闭窗口？").toLocal8Bit();
        const QByteArray details =
            tr("控制器按SD卡上的副本继续加工，不受关闭影响；再次连接后可在此查看或停止。").toLocal8Bit();
        if (confirm_box(this, text.constData(), details.constData()) != QMessageBox::Ok) {
            event->ignore();
            return;
        }
    }
    device_open = false;
    event->accept();
}

void pelk_test::changeEvent(QEvent* event)
{
    // A language change: the form's captions, then the ones a panel sets from its state.
    if (event->type() == QEvent::LanguageChange && connection) {
        retranslate_form(*ui, this);
        add_field_hints(ui.get());
        connection->retranslate();
    }
    QMainWindow::changeEvent(event);
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
