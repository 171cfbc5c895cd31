#include "flash_panel.h"

#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <cstring>

#include "flash_capacity.h"
#include "message_log.h"
#include "board_worker.h"
#include "ui_pelk_test.h"

namespace {

const char* const target_labels[] = {"fpga", "fram", "sd", "mcu", "enc", "boot"};
const char* const type_suffixes[] = {".bin", ".img", ".txt"};
constexpr int target_count = 6;
constexpr int type_count = 3;
constexpr int target_mcu = 3;
constexpr int target_fram = 1;
constexpr int target_sd = 2;
constexpr int target_spindle = 4;
constexpr int target_dc = 5;
constexpr int max_file_size = 0x7FFFFFF0;
constexpr int ms_per_day = 24 * 60 * 60 * 1000;
const char read_dir[] = "./read_file/";
const char controller_log_name[] = "cnc_log.txt";
constexpr uint32_t sd_format_op = 9;

file_chooser& file_chooser_slot()
{
    static file_chooser c;
    return c;
}

const char* target_label(int id) { return id >= 0 && id < target_count ? target_labels[id] : "unknown"; }

// Milliseconds since start, across midnight too.
int elapsed_ms(const QTime& start)
{
    int ms = start.msecsTo(QTime::currentTime());
    return ms < 0 ? ms + ms_per_day : ms;
}

}  // namespace

void set_file_chooser(file_chooser c) { file_chooser_slot() = std::move(c); }

flash_panel::flash_panel(const console_context& c, QButtonGroup* target, QButtonGroup* file_type, QObject* parent)
    : QObject(parent), ctx(c), target_group(target), file_type_group(file_type)
{
    auto* u = ctx.ui;
    connect(u->sf_select, &QPushButton::clicked, this, &flash_panel::sf_select_file);
    connect(u->sf_update, &QPushButton::clicked, this, &flash_panel::sf_update);
    connect(u->sf_earse, &QPushButton::clicked, this, &flash_panel::sf_earse);
    connect(u->sf_read, &QPushButton::clicked, this, &flash_panel::sf_read);
    connect(ctx.worker, &board_worker::progress, this, [this](quint64 bytes) { done = bytes; });
    connect(ctx.worker, &board_worker::task_finished, this, &flash_panel::sf_stop);
}

QString flash_panel::choose_file()
{
    const QString caption = "select file", filter = "bin files(*.*)";
    const QString start = last_file.isEmpty() ? QString(".") : last_file;
    if (file_chooser_slot())
        last_file = file_chooser_slot()(ctx.window, caption, start, filter);
    else
        last_file = QFileDialog::getOpenFileName(ctx.window, caption, start, filter);
    return last_file;
}

int flash_panel::sf_select_file()
{
    ctx.ui->sf_file_path->setText(choose_file());
    return 1;
}

bool flash_panel::set_file_name(_flash_msg& msg, const QString& path)
{
    QByteArray local = path.toLocal8Bit();
    if (set_task_file_name(msg.file_name, local.constData(), std::size_t(local.size()))) return true;
    ctx.log->log_message("SF", nullptr, "file path too long (%d bytes, at most %d), nothing sent....",
                         int(local.size()), int(sizeof msg.file_name) - 1);
    return false;
}

void flash_panel::submit(const _flash_msg& msg, const char* action)
{
    task_request req;
    std::memset(static_cast<void*>(&req), 0, sizeof req);
    req.type = TASK_FLASH;
    req.flash = msg;
    ctx.worker->submit(req);  // a full queue drops the request, as the worker defines
    ctx.log->log_message("SF", nullptr, "%s flash %s start....", target_label(int(msg.target)), action);
    sf_time = QTime::currentTime();
    set_buttons_enabled(false);
}

void flash_panel::set_buttons_enabled(bool on)
{
    for (QWidget* w : {ctx.ui->sf_update, ctx.ui->sf_earse, ctx.ui->sf_read}) w->setEnabled(on);
    emit transfer_running(!on);
}

int flash_panel::sf_update()
{
    if (!device_open) return 0;
    const int target = target_group->checkedId();
    const QString path = ctx.ui->sf_file_path->text();
    if (target == target_mcu && !mcu_erased) {
        ctx.log->log_message("SF", nullptr, "please click erase before update mcu ....");
        return 1;
    }
    _flash_msg msg;
    std::memset(static_cast<void*>(&msg), 0, sizeof msg);
    if (!set_file_name(msg, path)) return 1;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ctx.log->log_message("SF", nullptr, "open file failed....");
        return 1;
    }
    if (file.size() > max_file_size) {
        // The counter, the bar and the transfer's offsets are 32-bit signed.
        ctx.log->log_message("SF", nullptr, "file too large (%lld bytes, at most %d), nothing sent....",
                             static_cast<long long>(file.size()), max_file_size);
        return 1;
    }
    const uint32_t total = uint32_t(file.size());
    ctx.log->log_message("SF", nullptr, "open file success.size %d bytes....", int(total));
    file.close();
    // Before anything is erased: an empty file, one larger than the target
    // holds, or text where a firmware image belongs goes nowhere.
    if (target != target_fram) {
        const pelk::image_check check =
            pelk::check_image_file(path.toLocal8Bit().toStdString(), pelk::image_target(uint32_t(target)));
        if (check.verdict != pelk::image_verdict::ok) {
            ctx.log->log_message("SF", nullptr, "file refused: %s, nothing sent....", check.message.c_str());
            return 1;
        }
    }

    reset_bar(total);
    msg.target = uint32_t(target);
    msg.op = FLASH_OP_WRITE;
    msg.size = total;
    msg.check = target == target_sd ? 1 : 0;
    submit(msg, "write");
    return 1;
}

int flash_panel::sf_earse()
{
    if (!device_open) return 0;
    const int target = target_group->checkedId();
    if (target == target_spindle || target == target_dc) return 0;
    _flash_msg msg;
    std::memset(static_cast<void*>(&msg), 0, sizeof msg);
    if (!set_file_name(msg, ctx.ui->sf_file_path->text())) return 1;
    msg.target = uint32_t(target);
    msg.op = FLASH_OP_ERASE;
    submit(msg, "earse");
    return 1;
}

QString flash_panel::read_back_path(int target, int file_type, const QString& field)
{
    if (field.isEmpty()) {
        const char* suffix = file_type >= 0 && file_type < type_count ? type_suffixes[file_type] : "";
        return QString(read_dir) + target_label(target) + suffix;
    }
    // Only "/" separates; a path written with backslashes goes in whole.
    return QString(read_dir) + field.section('/', -1);
}

bool flash_panel::overwrites_source(const QString& dest) const
{
    const QFileInfo out(dest);
    if (!out.exists()) return false;
    const QString target = out.canonicalFilePath();
    for (const QString& source : {ctx.ui->sf_file_path->text(), last_file}) {
        if (source.isEmpty()) continue;
        const QFileInfo in(source);
        if (in.exists() && in.canonicalFilePath() == target) return true;
    }
    return false;
}

int flash_panel::sf_read()
{
    if (!device_open) return 0;
    const int target = target_group->checkedId();
    if (target == target_spindle || target == target_dc) return 0;
    const int file_type = file_type_group->checkedId();
    const QString dest = read_back_path(target, file_type, ctx.ui->sf_file_path->text());

    _flash_msg msg;
    std::memset(static_cast<void*>(&msg), 0, sizeof msg);
    if (!set_file_name(msg, dest)) return 1;
    // The read truncates its destination first; the file chosen as a source
    // must survive a read-back, even one that fails.
    if (overwrites_source(dest)) {
        ctx.log->log_message("SF", nullptr, "read back would overwrite the source file %s, nothing read....",
                             dest.toUtf8().constData());
        return 1;
    }
    if (!QDir(read_dir).exists()) QDir().mkpath(read_dir);

    reset_bar(read_limit);
    msg.target = uint32_t(target);
    msg.op = FLASH_OP_READ;
    msg.size = sf_total;
    submit(msg, "read");
    return 1;
}

int flash_panel::sf_stop(int id, int ret)
{
    ctx.log->log_message("SF", nullptr, "%s flash handle complete. %d-%s,use time %d ms...", target_label(id), ret,
                         ret != 0 ? "failed" : "success", elapsed_ms(sf_time));
    set_buttons_enabled(true);
    return 1;
}

int flash_panel::sf_timer_update_bar()
{
    if (!device_open) return 0;
    ctx.ui->sf_update_bar->setValue(int(done < sf_total ? done : sf_total));
    return 1;
}

void flash_panel::reset_bar(uint32_t total)
{
    sf_total = total;
    done = 0;
    ctx.ui->sf_update_bar->reset();
    ctx.ui->sf_update_bar->setRange(0, int(total));
}

void flash_panel::controller_log(bool clear)
{
    ctx.ui->sf_type_sd->setChecked(true);
    ctx.ui->sf_file_type_txt->setChecked(true);
    ctx.ui->sf_file_path->setText(controller_log_name);
    if (clear)
        sf_earse();
    else
        sf_read();  // does nothing while no connection is open
}

void flash_panel::format_card()
{
    task_request req;
    std::memset(static_cast<void*>(&req), 0, sizeof req);
    req.type = TASK_FLASH;
    req.flash.target = FLASH_TARGET_SDCARD;
    req.flash.op = sd_format_op;
    ctx.worker->submit(req);
    sf_time = QTime::currentTime();
}
