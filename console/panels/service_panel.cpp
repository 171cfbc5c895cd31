#include "service_panel.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QMainWindow>
#include <QPushButton>
#include <array>
#include <cstring>
#include <memory>

#include "cnc_tasks.h"
#include "console_context.h"
#include "message_boxes.h"
#include "logged_call.h"
#include "message_log.h"
#include "ui_pelk_test.h"

namespace {

const char ar_log_path[] = "./read_file/ar_log.txt";

int field_value(const QLineEdit* edit) { return edit->text().toInt(); }

}  // namespace

service_panel::service_panel(const console_context& c, QObject* parent) : QObject(parent), ctx(c)
{
    auto* u = ctx.ui;
    connect(u->ar_start, &QPushButton::clicked, this, &service_panel::ar_start_change);
    connect(u->ar_open, &QPushButton::clicked, this, &service_panel::ar_open_cylinder);
    connect(u->ar_close, &QPushButton::clicked, this, &service_panel::ar_close_cylinder);
    connect(u->ar_home, &QPushButton::clicked, this, &service_panel::ar_go_home);
    connect(u->ar_get_log, &QPushButton::clicked, this, &service_panel::ar_get_log);
    connect(u->cnc_param_read, &QPushButton::clicked, this, &service_panel::cnc_param_read);
    connect(u->cnc_param_write, &QPushButton::clicked, this, &service_panel::cnc_param_write);
    connect(u->cnc_param_set, &QPushButton::clicked, this, &service_panel::cnc_param_set);
    connect(u->cnc_param_load, &QPushButton::clicked, this, &service_panel::cnc_param_get);
    connect(u->cnc_machine_id_set, &QPushButton::clicked, this, &service_panel::cnc_set_machine_id);
    connect(u->cnc_machine_type_set, &QPushButton::clicked, this, &service_panel::cnc_set_machine_type);
    connect(u->cnc_sd_mkfs, &QPushButton::clicked, this, &service_panel::sdcard_mkfs);
    connect(u->cnc_log_clear, &QPushButton::clicked, this, &service_panel::sdcard_log_clear);
    connect(u->cnc_log_read, &QPushButton::clicked, this, &service_panel::sdcard_log_read);
}

void service_panel::send(const QByteArray& text, std::function<int(cnc::board&)> op, result_line shape,
                         std::function<void(int)> after)
{
    logged_call(ctx, this, "CNC", text, std::move(op), std::move(after), shape);
}

void service_panel::cnc_param_read()
{
    if (!device_open) return;
    send("read parameter...", [=](cnc::board& b) { return b.cnc_read_param(); });
}

void service_panel::cnc_param_write()
{
    if (!device_open) return;
    send("write parameter...", [=](cnc::board& b) { return b.cnc_write_param(); });
}

// Blocks 0 and 1 hold stored tables; 2 and above are ignored, while a
// negative number goes out as it is (its low byte reaches the controller).
void service_panel::cnc_param_set()
{
    if (!device_open) return;
    int n = field_value(ctx.ui->cnc_param_set_num);
    if (n >= 2) return;
    send(QString::asprintf("save parameter to flash block %d...", n).toUtf8(), [=](cnc::board& b) { return b.cnc_save_param(uint32_t(n)); });
}

void service_panel::cnc_param_get()
{
    if (!device_open) return;
    int n = field_value(ctx.ui->cnc_param_set_num);
    if (n >= 2) return;
    send(QString::asprintf("load parameter to cnc %d...", n).toUtf8(), [=](cnc::board& b) { return b.cnc_load_param(uint32_t(n)); });
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
    const QByteArray announce = "write machine id [" + text.toUtf8() + "]...";
    if (text.isEmpty()) {
        ctx.log->log_message("CNC", nullptr, "%s", announce.constData());
        ctx.log->log_message("CNC", nullptr, "write machine id err, is null");
        return;
    }
    std::array<uint8_t, cnc::USER_ID_FIELD> record{};
    const QByteArray id = identifier_bytes(text);
    std::memcpy(record.data(), id.constData(), std::size_t(id.size()));
    send(announce, [record](cnc::board& b) mutable { return b.cnc_write_user_data(record.data(), 0, cnc::USER_ID_FIELD); });
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
    const uint8_t code = types[std::size_t(index)].code;
    send(QString::asprintf("write machine type [%s]...", types[std::size_t(index)].name).toUtf8(),
         [code](cnc::board& b) { return cnc::write_machine_type(b, code); });
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
    send(QString::asprintf("ar change pad form %d to %d", s, e).toUtf8(), [=](cnc::board& b) { return b.cnc_ar_change_pad(uint8_t(s), uint8_t(e)); }, result_line::without_stop);
}

void service_panel::ar_close_cylinder()
{
    if (!ar_ready("dev not open")) return;
    send("ar close cylinder", [=](cnc::board& b) { return b.cnc_ar_cylinder(false); }, result_line::without_stop);
}

void service_panel::ar_open_cylinder()
{
    if (!ar_ready("dev not open")) return;
    send("ar open cylinder", [=](cnc::board& b) { return b.cnc_ar_cylinder(true); }, result_line::without_stop);
}

void service_panel::ar_go_home()
{
    if (!ar_ready("dev not open")) return;
    send("ar home", [=](cnc::board& b) { return b.cnc_ar_home(); }, result_line::without_stop);
}

void service_panel::ar_get_log()
{
    if (!ar_ready("dev not open")) return;
    auto text = std::make_shared<std::array<char, ar_log_size>>();
    send(
        "ar get log", [text](cnc::board& b) { return b.cnc_ar_get_log(text->data(), ar_log_size); },
        result_line::without_stop,
        [text](int rc) {
            if (rc != 0) return;
            // The log fills the buffer without a terminator when it is that
            // long. The folder is not made here: without it nothing is written.
            QFile out(ar_log_path);
            if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return;
            out.write(text->data(), qint64(strnlen(text->data(), text->size())));
        });
}

void service_panel::sdcard_mkfs()
{
    if (!device_open) return;
    const QByteArray question = QCoreApplication::translate("service_panel", "确认格式化SD卡？").toLocal8Bit();
    const QByteArray warning =
        QCoreApplication::translate("service_panel", "!!格式化SD期间,请不要进行加工操作!!").toLocal8Bit();
    if (confirm_box(ctx.window, question.constData(), warning.constData()) != QMessageBox::Ok) return;
    emit card_format_requested();
    ctx.log->log_message(nullptr, nullptr, "sdcard mkfs...\r\n");
}

void service_panel::sdcard_log_clear()
{
    if (!device_open) return;
    emit controller_log_requested(true);
    ctx.log->log_message(nullptr, nullptr, "clear log...\r\n");
}

void service_panel::sdcard_log_read()
{
    emit controller_log_requested(false);  // nothing is read while no connection is open
    ctx.log->log_message(nullptr, nullptr, "read log...\r\n");
}
