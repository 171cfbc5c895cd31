#include "nc_job_panel.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <algorithm>
#include <climits>
#include <cstring>

#include "cmd_history.h"
#include "message_boxes.h"
#include "message_log.h"
#include "cnc_tasks.h"
#include "task_request_thread.h"
#include "ui_pelk_test.h"

namespace {

constexpr int resume_back_lines = 100;    // a resumed job starts this far before the interrupted line
constexpr int numbered_suffix_len = 5;    // "_N.nc" of the controller's numbered file

nc_file_chooser& chooser()
{
    static nc_file_chooser c;
    return c;
}

QByteArray utf8(const QString& s) { return s.toUtf8(); }

}  // namespace

nc_job_panel::nc_job_panel(console_context& ctx) : ctx(ctx) {}

void nc_job_panel::set_file_chooser(nc_file_chooser c) { chooser() = std::move(c); }

int nc_job_panel::cnc_select_file()
{
    QString path = chooser() ? chooser()() : (ctx.flash ? ctx.flash->choose_file() : QString());
    ctx.ui->cnc_file_path->setText(path);
    return 1;
}

void nc_job_panel::cnc_start()
{
    if (!device_open) {
        ctx.log->log_message(nullptr, nullptr, "dev not open.");
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
    if (start_gate && !start_gate(path, start_line)) return;
    start_nc_process(path, start_line, check);
}

void nc_job_panel::start_nc_process(const QString& path, int start_line, int check)
{
    if (open_nc_file(path) < 0) {
        ctx.log->log_message("CNC", nullptr, "open nc file fail.");
        return;
    }
    ctx.log->log_message("CNC", nullptr, "get nc file line %d.", int(ctx.nc_line_count));
    reset_nc_bars();

    task_request req{};
    std::memset(&req, 0, sizeof req);
    req.type = TASK_CNC;
    req.cnc.type = CNC_TASK_RUN_FILE;
    req.cnc.check = check ? 1 : 0;
    req.cnc.start_line = static_cast<uint32_t>(start_line);  // a resume may send a negative line as it is
    QByteArray local = ctx.nc_file_path.toLocal8Bit();
    if (!set_task_file_name(req.cnc.file_name, local.constData(), std::size_t(local.size()))) {
        ctx.log->log_message("CNC", nullptr, "nc file path too long.");
        return;
    }
    ctx.task_thread->add_request(req);
    ctx.log->log_message("CNC", nullptr, "nc process start.%d lines from %d line %s", int(ctx.nc_line_count),
                         start_line, check ? "and check" : "and no check");
}

int nc_job_panel::open_nc_file(const QString& path)
{
    ctx.nc_file_path.clear();
    ctx.nc_file_path = path;
    if (path.isEmpty()) {
        ctx.nc_file_size = 0;
        ctx.nc_line_count = 0;
        return 0;
    }
    cnc::nc_program_info info;
    // The bars' ranges are ints and the link's offsets 32-bit.
    if (cnc::inspect_nc_program(path.toLocal8Bit().toStdString(), &info) != PELK_OK || info.size > INT_MAX) {
        ctx.log->log_message("CNC", nullptr, "open cnc file failed....");
        return -1;
    }
    ctx.log->log_message("CNC", nullptr, "open cnc file success.size %d bytes....", int(info.size));
    ctx.nc_file_size = uint32_t(info.size);
    ctx.nc_line_count = info.lines;
    return 0;
}

void nc_job_panel::reset_nc_bars()
{
    ctx.ui->cnc_nc_download->reset();
    ctx.ui->cnc_nc_download->setRange(0, int(ctx.nc_file_size));
    ctx.ui->cnc_update_bar->reset();
    ctx.ui->cnc_update_bar->setRange(0, int(std::min<uint32_t>(ctx.nc_line_count, INT_MAX)));
}

void nc_job_panel::control_action(const char* what, int (cnc::board::*op)())
{
    if (!device_open) {
        ctx.log->log_message(nullptr, nullptr, "dev not open.");
        return;
    }
    ctx.log->log_message("CNC", nullptr, "%s", what);
    int rc = (ctx.board.*op)();
    ctx.log->log_message(nullptr, nullptr, "%s.", rc != 0 ? "failed" : "success");
}

void nc_job_panel::cnc_stop() { control_action("stop.", &cnc::board::cnc_dev_stop); }
void nc_job_panel::cnc_continue() { control_action("continue.", &cnc::board::cnc_dev_continue); }
void nc_job_panel::cnc_reset() { control_action("reset.", &cnc::board::cnc_dev_reset); }
void nc_job_panel::cnc_home() { control_action("home.", &cnc::board::cnc_dev_home); }

void nc_job_panel::cnc_parser_string()
{
    QString text = ctx.ui->cnc_input->text();
    ctx.ui->cnc_input->clear();
    QByteArray line = utf8(text);
    ctx.log->log_message("CNC", nullptr, "%s", line.constData());
    int rc = ctx.board.cnc_parser(line.constData());
    ctx.log->log_message(nullptr, nullptr, "%s.", rc != 0 ? "failed" : "success");
    ctx.history->cmd_history_add(text);
}

int nc_job_panel::cnc_set_tool(QObject* sender)
{
    if (!device_open || !sender) return 0;
    QString n = sender->objectName().section('_', 2, 2);
    QString word;
    switch (ctx.grp_tool_change_type->checkedId()) {
    case 0: word = "T" + n; break;
    case 1: word = "Q" + n; break;
    default: word = "T" + n + " Q" + n; break;
    }
    word += " m6";
    QByteArray line = utf8(word);
    ctx.log->log_message("CNC", nullptr, "tool chnage:%s", line.constData());
    int rc = ctx.board.cnc_parser(line.constData());
    ctx.log->log_message(nullptr, nullptr, "%s.", rc != 0 ? "failed" : "success");
    return rc;
}

void nc_job_panel::cnc_tsak_stop(int type, int ret)
{
    if (type == int(CNC_TASK_RUN_FILE)) ctx.log->log_message("CNC", nullptr, "nc process finish,%d", ret);
}

void nc_job_panel::cnc_calibration()
{
    if (!device_open) {
        ctx.log->log_message(nullptr, nullptr, "dev not open.");
        return;
    }
    ctx.log->log_message("CNC", nullptr, "calib process.");
    int rc = ctx.board.mcu_bsp_cnc_calib();
    ctx.log->log_message(nullptr, nullptr, "%s.", rc != 0 ? "failed" : "success");
}

int nc_job_panel::cnc_parser_stop(int, int ret)
{
    if (ret < 0) {
        ctx.log->log_message(nullptr, nullptr, "failed.");
    } else {
        // Bounded even if the buffer were ever left without its zero.
        int len = int(strnlen(ctx.results_buffer, sizeof ctx.results_buffer));
        ctx.log->log_message(nullptr, nullptr, "success\n%.*s", len, ctx.results_buffer);
    }
    return 1;
}

void nc_job_panel::offer_resume(const char* name, uint32_t line, int flag)
{
    // A question already open is never asked again on top of itself; an offer
    // armed meanwhile waits for the next poll.
    if (!ctx.newly_connected || question_open) return;
    // Consumed before the question: a poll that falls due while it is open
    // finds the offer already made.
    ctx.newly_connected = false;
    if (flag != 1 || line == 0 || !name) return;
    QString board_name = QString::fromLocal8Bit(name, int(strnlen(name, 128)));
    if (board_name.isEmpty()) return;  // nothing to resume
    QString local = board_name.left(std::max(0, int(board_name.size()) - numbered_suffix_len)) + ".nc";

    QByteArray details = QString::asprintf("NC  :%s\nLine:%u\n", utf8(local).constData(), line).toLocal8Bit();
    QByteArray question = QCoreApplication::translate("nc_job_panel", "是否继续加工?").toLocal8Bit();
    question_open = true;
    int answer = confirm_box(ctx.window, question.constData(), details.constData());
    question_open = false;
    // The link may have closed, or a new connection opened, while the
    // question was open: the answer belongs to the connection it was asked on.
    if (answer != QMessageBox::Ok || !device_open || ctx.newly_connected) return;

    int start_line = int(std::min<uint32_t>(line, INT_MAX)) - resume_back_lines;
    ctx.log->log_message("CNC", nullptr, "cnc start auto nc %s from %d lines.", utf8(local).constData(), start_line);
    start_nc_process(local, start_line, 1);
}
