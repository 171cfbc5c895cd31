#include "service_panel.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QMainWindow>
#include <cstring>

#include "cnc_tasks.h"
#include "console_context.h"
#include "message_boxes.h"
#include "message_log.h"
#include "task_request_thread.h"
#include "ui_pelk_test.h"

namespace {

constexpr uint32_t sd_format_op = 9;
const char ar_log_path[] = "./read_file/ar_log.txt";
const char controller_log[] = "cnc_log.txt";

int field_value(const QLineEdit* edit) { return edit->text().toInt(); }

}  // namespace

service_panel::service_panel(console_context& ctx) : ctx(ctx) {}

void service_panel::log_result(int rc) { ctx.log->log_message(nullptr, nullptr, "%s.", rc == 0 ? "success" : "failed"); }

void service_panel::log_ar_result(int rc) { ctx.log->log_message(nullptr, nullptr, "%s", rc == 0 ? "success" : "failed"); }

void service_panel::cnc_param_read()
{
    if (!device_open) return;
    ctx.log->log_message("CNC", nullptr, "read parameter...");
    log_result(ctx.board.cnc_read_param());
}

void service_panel::cnc_param_write()
{
    if (!device_open) return;
    ctx.log->log_message("CNC", nullptr, "write parameter...");
    log_result(ctx.board.cnc_write_param());
}

// Blocks 0 and 1 hold stored tables; 2 and above are ignored, while a
// negative number goes out as it is (its low byte reaches the controller).
void service_panel::cnc_param_set()
{
    if (!device_open) return;
    int n = field_value(ctx.ui->cnc_param_set_num);
    if (n >= 2) return;
    ctx.log->log_message("CNC", nullptr, "save parameter to flash block %d...", n);
    log_result(ctx.board.cnc_save_param(uint32_t(n)));
}

void service_panel::cnc_param_get()
{
    if (!device_open) return;
    int n = field_value(ctx.ui->cnc_param_set_num);
    if (n >= 2) return;
    ctx.log->log_message("CNC", nullptr, "load parameter to cnc %d...", n);
    log_result(ctx.board.cnc_load_param(uint32_t(n)));
}

QByteArray service_panel::identifier_bytes(const QString& text)
{
    // Cut between characters, never inside one, so the stored identifier is
    // always valid UTF-8.
    QByteArray out;
    int chars = 0;
    for (int i = 0; i < text.size() && chars < id_max; ++chars) {
        int n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QByteArray one = text.mid(i, n).toUtf8();
        if (out.size() + one.size() > id_max) break;
        out += one;
        i += n;
    }
    return out;
}

void service_panel::cnc_set_machine_id()
{
    if (!device_open) return;
    const QString text = ctx.ui->cnc_machine_id->text();
    ctx.log->log_message("CNC", nullptr, "write machine id [%s]...", text.toUtf8().constData());
    if (text.isEmpty()) {
        ctx.log->log_message("CNC", nullptr, "write machine id err, is null");
        return;
    }
    uint8_t record[cnc::USER_ID_FIELD] = {};
    const QByteArray id = identifier_bytes(text);
    std::memcpy(record, id.constData(), std::size_t(id.size()));
    log_result(ctx.board.cnc_write_user_data(record, 0, cnc::USER_ID_FIELD));
}

// The combo lists the machine types in the order the board library gives
// them. Only the type byte changes: the identifier and the bytes around the
// type stay as the controller holds them.
void service_panel::cnc_set_machine_type()
{
    if (!device_open) return;
    const auto& types = cnc::machine_types();
    int index = ctx.ui->cnc_machine_type->currentIndex();
    if (index < 0 || index >= int(types.size())) return;
    ctx.log->log_message("CNC", nullptr, "write machine type [%s]...", types[std::size_t(index)].name);
    log_result(cnc::write_machine_type(ctx.board, types[std::size_t(index)].code));
}

bool service_panel::ar_ready(const char* closed_line)
{
    if (device_open) return true;
    ctx.log->log_message(nullptr, nullptr, "%s", closed_line);
    return false;
}

void service_panel::ar_start_change()
{
    if (!ar_ready("dev not open.")) return;
    int s = field_value(ctx.ui->ar_start_id), e = field_value(ctx.ui->ar_stop_id);
    if (s == e) {
        ctx.log->log_message("CNC", nullptr, "ar start pad(%d) != stop pad(%d)", s, e);
        return;
    }
    ctx.log->log_message("CNC", nullptr, "ar change pad form %d to %d", s, e);
    log_ar_result(ctx.board.cnc_ar_change_pad(uint8_t(s), uint8_t(e)));
}

void service_panel::ar_close_cylinder()
{
    if (!ar_ready("dev not open")) return;
    ctx.log->log_message("CNC", nullptr, "ar close cylinder");
    log_ar_result(ctx.board.cnc_ar_cylinder(false));
}

void service_panel::ar_open_cylinder()
{
    if (!ar_ready("dev not open")) return;
    ctx.log->log_message("CNC", nullptr, "ar open cylinder");
    log_ar_result(ctx.board.cnc_ar_cylinder(true));
}

void service_panel::ar_go_home()
{
    if (!ar_ready("dev not open")) return;
    ctx.log->log_message("CNC", nullptr, "ar home");
    log_ar_result(ctx.board.cnc_ar_home());
}

void service_panel::ar_get_log()
{
    if (!ar_ready("dev not open")) return;
    char text[ar_log_size] = {};
    ctx.log->log_message("CNC", nullptr, "ar get log");
    int rc = ctx.board.cnc_ar_get_log(text, ar_log_size);
    log_ar_result(rc);
    if (rc != 0) return;
    // The log fills the buffer without a terminator when it is that long.
    // The folder is not made here: without it nothing is written.
    QFile out(ar_log_path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return;
    out.write(text, qint64(strnlen(text, sizeof text)));
}

void service_panel::sdcard_mkfs()
{
    if (!device_open) return;
    const QByteArray question = QCoreApplication::translate("service_panel", "确认格式化SD卡？").toLocal8Bit();
    const QByteArray warning =
        QCoreApplication::translate("service_panel", "!!格式化SD期间,请不要进行加工操作!!").toLocal8Bit();
    if (confirm_box(ctx.window, question.constData(), warning.constData()) != QMessageBox::Ok) return;
    task_request req;
    std::memset(static_cast<void*>(&req), 0, sizeof req);
    req.type = TASK_FLASH;
    req.flash.target = FLASH_TARGET_SDCARD;
    req.flash.op = sd_format_op;
    ctx.task_thread->add_request(req);
    ctx.sf_time = QTime::currentTime();
    ctx.log->log_message(nullptr, nullptr, "sdcard mkfs...\r\n");
}

void service_panel::select_controller_log()
{
    ctx.ui->sf_type_sd->setChecked(true);
    ctx.ui->sf_file_type_txt->setChecked(true);
    ctx.ui->sf_file_path->setText(controller_log);
}

void service_panel::sdcard_log_clear()
{
    if (!device_open) return;
    select_controller_log();
    ctx.flash->sf_earse();
    ctx.log->log_message(nullptr, nullptr, "clear log...\r\n");
}

void service_panel::sdcard_log_read()
{
    select_controller_log();
    ctx.flash->sf_read();  // does nothing while no connection is open
    ctx.log->log_message(nullptr, nullptr, "read log...\r\n");
}
