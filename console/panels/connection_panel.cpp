#include "connection_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QCoreApplication>

#include "cnc_tasks.h"
#include "message_log.h"
#include "ui_pelk_test.h"

namespace {

constexpr int board_id_len = 12;

}  // namespace

connection_panel::connection_panel(const console_context& c, QObject* parent) : QObject(parent), ctx(c)
{
    auto* u = ctx.ui;
    connect(u->btn_eth_connect, &QPushButton::clicked, this, &connection_panel::start_eth_connect);
    connect(u->btn_eth_poll, &QPushButton::clicked, this, &connection_panel::start_eth_poll);
    connect(u->cbox_eth_static, &QCheckBox::stateChanged, this, &connection_panel::set_eth_connect_type);
    connect(ctx.worker, &board_worker::discovered, this, &connection_panel::show_list);
    connect(ctx.worker, &board_worker::opened, this, &connection_panel::identified);
    connect(ctx.worker, &board_worker::closed, this, &connection_panel::closed);
    connect(ctx.worker, &board_worker::disconnected, this, &connection_panel::device_disconnected);
}

void connection_panel::start_eth_poll() { ctx.worker->discover(); }

void connection_panel::show_list(const board_list& list)
{
    ctx.ui->cbox_eth_dev->clear();
    if (list.result != 0) return;
    ctx.ui->cbox_eth_dev->addItems(list.ids);
    ctx.log->log_message(nullptr, nullptr, "poll %d devices...", list.reported);
}

void connection_panel::set_eth_connect_type(int state)
{
    static_connect = state != 0;
    ctx.ui->cbox_eth_dev->setEnabled(!static_connect);
    ctx.ui->btn_eth_poll->setEnabled(!static_connect);
}

void connection_panel::set_transfer_running(bool running) { ctx.ui->btn_eth_connect->setEnabled(!running); }

void connection_panel::start_eth_connect()
{
    if (opening) return;  // one connect at a time; its answer decides what the button does next
    if (device_open)
        close_device();
    else
        open_device();
}

void connection_panel::open_device()
{
    if (static_connect) {
        opening = true;
        ctx.worker->open_static();
        return;
    }
    if (ctx.ui->cbox_eth_dev->count() == 0) {
        ctx.log->log_message(nullptr, nullptr, "no device be selected...");
        return;
    }
    QByteArray entry = ctx.ui->cbox_eth_dev->currentText().toLatin1().left(board_id_len);
    ctx.log->log_message(nullptr, nullptr, "open device %s...", entry.constData());
    opening = true;
    ctx.worker->open_listed(entry);
}

void connection_panel::identified(const board_identity& who)
{
    opening = false;
    ctx.log->log_message(nullptr, nullptr, "%s.", who.open_result == 0 ? "success" : "failed");
    if (who.open_result != 0) return;

    show_connect_caption(true);
    ctx.ui->btn_eth_poll->setEnabled(false);
    ctx.ui->cbox_eth_dev->setEnabled(false);

    const cnc::version_info version = cnc::split_version(who.version_word);
    if (!who.known_product) {
        ctx.log->log_message(nullptr, nullptr, "invalid product id.%d", int(version.product));
        return;
    }
    ctx.log->log_message(nullptr, nullptr, "%s(%s) firmware version:[%s].", cnc::product_name(version.product).c_str(),
                         cnc::variant_name(version.variant).c_str(),
                         cnc::version_text(version.major, version.minor).c_str());
    erased = version.major == 0;
    ctx.log->log_message(nullptr, nullptr, "dc  firmware version:[%s].",
                         cnc::drive_version_text(static_cast<uint32_t>(who.drive_version)).c_str());
    ctx.log->log_message(
        nullptr, nullptr, "machine hal id:[%s].",
        cnc::hex_text(reinterpret_cast<const unsigned char*>(who.hal_id.constData()), int(who.hal_id.size())).c_str());
    ++serial;
    device_open = true;
    emit connected(serial, erased);
}

void connection_panel::close_device()
{
    ctx.log->log_message(nullptr, nullptr, "close device...");
    ctx.worker->close_link();
}

// Answers each close in the order asked: the list again, the widgets back.
void connection_panel::closed()
{
    start_eth_poll();
    show_connect_caption(false);
    if (!static_connect) {
        ctx.ui->btn_eth_poll->setEnabled(true);
        ctx.ui->cbox_eth_dev->setEnabled(true);
    }
    const bool was_open = device_open.exchange(false);
    if (was_open) emit connection_closed();
}

void connection_panel::show_connect_caption(bool close)
{
    close_caption = close;
    ctx.ui->btn_eth_connect->setText(close ? QCoreApplication::translate("connection_panel", "关闭")
                                           : QCoreApplication::translate("connection_panel", "连接"));
}

void connection_panel::retranslate() { show_connect_caption(close_caption); }

// The link ended: a close the user asked for reports here first (the
// worker's close is still under way), a lost link only here.
void connection_panel::device_disconnected(int dev_id)
{
    if (!device_open) return;
    ctx.log->log_message(nullptr, nullptr, "device %d disconnect...", dev_id);
    start_eth_connect();
}
