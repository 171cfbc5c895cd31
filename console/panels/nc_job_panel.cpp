#include "nc_job_panel.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <climits>
#include <cstring>

#include "board_worker.h"
#include "cmd_history.h"
#include "cnc_tasks.h"
#include "logged_call.h"
#include "message_boxes.h"
#include "message_log.h"
#include "ui_pelk_test.h"

namespace {

constexpr int resume_back_lines = 100;  // a resumed job starts this far before the interrupted line
constexpr int numbered_suffix_len = 5;  // "_N.nc" of the controller's numbered file
constexpr uint32_t state_nc = 1u << 1;     // running a program
constexpr uint32_t state_pause = 1u << 3;  // held by 暂停

nc_file_chooser& nc_chooser_slot()
{
    static nc_file_chooser c;
    return c;
}

QByteArray utf8(const QString& s) { return s.toUtf8(); }

}  // namespace

nc_job_panel::nc_job_panel(const console_context& c, QButtonGroup* tool_change_type, cmd_history& history,
                           std::function<QString()> pick_file, QObject* parent)
    : QObject(parent), ctx(c), tool_change_type(tool_change_type), history(history), pick_file(std::move(pick_file))
{
    auto* u = ctx.ui;
    for (QPushButton* b : {u->cnc_tool_0, u->cnc_tool_1, u->cnc_tool_2, u->cnc_tool_3, u->cnc_tool_4, u->cnc_tool_5,
                           u->cnc_tool_6, u->cnc_tool_7})
        connect(b, &QPushButton::clicked, this, [this, b] { cnc_set_tool(b); });
    connect(u->cnc_input, &QLineEdit::returnPressed, this, &nc_job_panel::cnc_parser_string);
    connect(u->cnc_file_path, &QLineEdit::returnPressed, this, &nc_job_panel::cnc_select_file);
    connect(u->cnc_start, &QPushButton::clicked, this, &nc_job_panel::cnc_start);
    connect(u->cnc_stop, &QPushButton::clicked, this, &nc_job_panel::cnc_stop);
    connect(u->cnc_continue, &QPushButton::clicked, this, &nc_job_panel::cnc_continue);
    connect(u->cnc_reset, &QPushButton::clicked, this, &nc_job_panel::cnc_reset);
    connect(u->cnc_home, &QPushButton::clicked, this, &nc_job_panel::cnc_home);
    connect(ctx.worker, &board_worker::cnc_task_finished, this, &nc_job_panel::cnc_tsak_stop);
}

void nc_job_panel::set_file_chooser(nc_file_chooser c) { nc_chooser_slot() = std::move(c); }

int nc_job_panel::cnc_select_file()
{
    QString path = nc_chooser_slot() ? nc_chooser_slot()() : (pick_file ? pick_file() : QString());
    ctx.ui->cnc_file_path->setText(path);
    return 1;
}

bool nc_job_panel::job_running() const { return job_expected || (run_state & (state_nc | state_pause)) != 0; }
bool nc_job_panel::job_paused() const { return (run_state & state_pause) != 0; }

void nc_job_panel::update_start_button()
{
    // A running job is never restarted by 加工; a paused one is, after a question.
    const bool locked = starting || (job_running() && !job_paused());
    ctx.ui->cnc_start->setEnabled(!locked);
    ctx.ui->cnc_start->setToolTip(locked ? tr("加工进行中：先暂停或复位") : QString());
}

bool nc_job_panel::confirm_over_job(const QString& action)
{
    if (!job_running()) return true;
    const QByteArray text = (job_paused() ? tr("加工已暂停。%1？") : tr("加工进行中。%1？")).arg(action).toLocal8Bit();
    const QByteArray details = tr("当前加工将不再继续。确定后执行，取消则保持现状。").toLocal8Bit();
    return confirm_box(ctx.window, text.constData(), details.constData()) == QMessageBox::Ok;
}

void nc_job_panel::cnc_start()
{
    if (!device_open) {
        ctx.log->log_message(nullptr, nullptr, "dev not open.");
        return;
    }
    if (starting || (job_running() && !job_paused())) {
        ctx.log->log_message("CNC", nullptr, "a job is running: pause or reset it first.");
        return;
    }
    QString path = ctx.ui->cnc_file_path->text();
    if (path.isEmpty()) {
        ctx.log->log_message("CNC", nullptr, "need select a nc file.");
        return;
    }
    int check = ctx.ui->cnc_file_check->isChecked() ? 1 : 0;
    bool ok = false;
    int start_line = ctx.ui->cnc_continue_line->text().toInt(&ok, 10);
    if (!ok) start_line = 0;
    if (start_line < 0) return;
    if (job_paused() && !confirm_over_job(tr("重新开始加工"))) return;
    if (!gate) {
        start_nc_process(path, start_line, check);
        return;
    }
    starting = true;
    update_start_button();
    const unsigned asked_on = serial;
    gate(path, start_line, [this, path, start_line, check, asked_on](bool go) {
        starting = false;
        update_start_button();
        // The answer belongs to the connection it was asked on.
        if (go && device_open && serial == asked_on) start_nc_process(path, start_line, check);
    });
}

void nc_job_panel::start_nc_process(const QString& path, int start_line, int check)
{
    if (open_nc_file(path) < 0) {
        ctx.log->log_message("CNC", nullptr, "open nc file fail.");
        return;
    }
    ctx.log->log_message("CNC", nullptr, "get nc file line %d.", int(line_count));
    reset_nc_bars();

    task_request req{};
    std::memset(&req, 0, sizeof req);
    req.type = TASK_CNC;
    req.cnc.type = CNC_TASK_RUN_FILE;
    req.cnc.check = check ? 1 : 0;
    req.cnc.start_line = static_cast<uint32_t>(start_line);  // a resume may send a negative line as it is
    QByteArray local = file_path.toLocal8Bit();
    if (!set_task_file_name(req.cnc.file_name, local.constData(), std::size_t(local.size()))) {
        ctx.log->log_message("CNC", nullptr, "nc file path too long.");
        return;
    }
    if (ctx.worker->submit(req)) {
        job_expected = true;
        job_ended = false;
        update_start_button();
    }
    ctx.log->log_message("CNC", nullptr, "nc process start.%d lines from %d line %s", int(line_count), start_line,
                         check ? "and check" : "and no check");
}

int nc_job_panel::open_nc_file(const QString& path)
{
    file_path = path;
    if (path.isEmpty()) {
        file_size = 0;
        line_count = 0;
        emit program_opened(file_size);
        return 0;
    }
    cnc::nc_program_info info;
    // The bars' ranges are ints and the link's offsets 32-bit.
    if (cnc::inspect_nc_program(path.toLocal8Bit().toStdString(), &info) != PELK_OK || info.size > INT_MAX) {
        ctx.log->log_message("CNC", nullptr, "open cnc file failed....");
        return -1;
    }
    ctx.log->log_message("CNC", nullptr, "open cnc file success.size %d bytes....", int(info.size));
    file_size = uint32_t(info.size);
    line_count = info.lines;
    emit program_opened(file_size);
    return 0;
}

void nc_job_panel::reset_nc_bars()
{
    ctx.ui->cnc_nc_download->reset();
    ctx.ui->cnc_nc_download->setRange(0, int(file_size));
    ctx.ui->cnc_update_bar->reset();
    ctx.ui->cnc_update_bar->setRange(0, int(std::min<uint32_t>(line_count, INT_MAX)));
}

void nc_job_panel::control_action(const char* what, int (cnc::board::*op)())
{
    if (!device_open) {
        ctx.log->log_message(nullptr, nullptr, "dev not open.");
        return;
    }
    logged_call(ctx, this, "CNC", what, [op](cnc::board& b) { return (b.*op)(); });
}

void nc_job_panel::cnc_stop() { control_action("stop.", &cnc::board::cnc_dev_stop); }
void nc_job_panel::cnc_continue() { control_action("continue.", &cnc::board::cnc_dev_continue); }

void nc_job_panel::cnc_reset()
{
    // A running job is reset at once (it is the way to stop it); a paused
    // one, which a reset would throw away, asks first.
    if (device_open && job_paused() && !confirm_over_job(tr("复位"))) return;
    control_action("reset.", &cnc::board::cnc_dev_reset);
}

void nc_job_panel::cnc_home()
{
    if (device_open && !confirm_over_job(tr("回零"))) return;
    control_action("home.", &cnc::board::cnc_dev_home);
}

void nc_job_panel::cnc_parser_string()
{
    QString text = ctx.ui->cnc_input->text();
    ctx.ui->cnc_input->clear();
    QByteArray line = utf8(text);
    logged_call(ctx, this, "CNC", line, [line](cnc::board& b) { return b.cnc_parser(line.constData()); });
    history.cmd_history_add(text);
}

int nc_job_panel::cnc_set_tool(QObject* sender)
{
    if (!device_open || !sender) return 0;
    QString n = sender->objectName().section('_', 2, 2);
    QString word;
    switch (tool_change_type->checkedId()) {
    case 0: word = "T" + n; break;
    case 1: word = "Q" + n; break;
    default: word = "T" + n + " Q" + n; break;
    }
    word += " m6";
    QByteArray line = utf8(word);
    logged_call(ctx, this, "CNC", "tool chnage:" + line, [line](cnc::board& b) { return b.cnc_parser(line.constData()); });
    return 1;
}

void nc_job_panel::cnc_tsak_stop(int type, int ret)
{
    if (type != int(CNC_TASK_RUN_FILE)) return;
    ctx.log->log_message("CNC", nullptr, "nc process finish,%d", ret);
    // A download that failed leaves no job; one that went through runs until
    // the board is seen idle.
    if (ret != 0) job_expected = false;
    job_ended = true;
    update_start_button();
}

void nc_job_panel::status_shown(const cnc_status& status)
{
    run_state = status.run_state;
    if (job_ended && (run_state & (state_nc | state_pause)) == 0) job_expected = false;
    update_start_button();
}

void nc_job_panel::cnc_calibration() { control_action("calib process.", &cnc::board::mcu_bsp_cnc_calib); }

int nc_job_panel::cnc_parser_stop(int, int ret)
{
    if (ret < 0)
        ctx.log->log_message(nullptr, nullptr, "failed.");
    else
        ctx.log->log_message(nullptr, nullptr, "success\n%.*s", int(last_results.size()), last_results.constData());
    return 1;
}

void nc_job_panel::connection_opened(unsigned s)
{
    serial = s;
    resume_armed = true;
}

void nc_job_panel::connection_closed()
{
    resume_armed = false;
    job_expected = false;
    job_ended = false;
    run_state = 0;
    update_start_button();
}

void nc_job_panel::offer_resume(const QByteArray& name, quint32 line, int flag)
{
    // A question already open is never asked again on top of itself; an offer
    // armed meanwhile waits for the next poll.
    if (!resume_armed || question_open) return;
    // Consumed before the question: a poll that falls due while it is open
    // finds the offer already made.
    resume_armed = false;
    if (flag != 1 || line == 0) return;
    QString board_name = QString::fromLocal8Bit(name.constData(), int(strnlen(name.constData(), 128)));
    if (board_name.isEmpty()) return;  // nothing to resume
    QString local = board_name.left(std::max(0, int(board_name.size()) - numbered_suffix_len)) + ".nc";

    QByteArray details = QString::asprintf("NC  :%s\nLine:%u\n", utf8(local).constData(), line).toLocal8Bit();
    QByteArray question = QCoreApplication::translate("nc_job_panel", "是否继续加工?").toLocal8Bit();
    const unsigned asked_on = serial;
    question_open = true;
    int answer = confirm_box(ctx.window, question.constData(), details.constData());
    question_open = false;
    // The link may have closed, or a new connection opened, while the
    // question was open: the answer belongs to the connection it was asked on.
    if (answer != QMessageBox::Ok || !device_open || serial != asked_on || resume_armed) return;

    int start_line = int(std::min<uint32_t>(line, INT_MAX)) - resume_back_lines;
    ctx.log->log_message("CNC", nullptr, "cnc start auto nc %s from %d lines.", utf8(local).constData(), start_line);
    start_nc_process(local, start_line, 1);
}
