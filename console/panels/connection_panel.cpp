#include "connection_panel.h"

#include <QMainWindow>
#include <QMetaObject>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "console_context.h"
#include "message_log.h"
#include "pelk_board.h"
#include "pelk_cnc.h"
#include "ui_pelk_test.h"

namespace {

constexpr int id_len = 12;
constexpr int max_polled = 32;
constexpr uint32_t product_count = 4;

// Panels alive, by the token their links carry. The link may call back after
// the panel (and its window) is gone, e.g. when the library closes the link
// as the program ends; such a call finds no entry and does nothing. The
// registry is never destroyed, since that call may come after static
// destruction has begun.
struct panel_registry {
    std::mutex mutex;
    std::map<intptr_t, connection_panel*> panels;
    intptr_t next_token = 1;
};

panel_registry& registry()
{
    static panel_registry* const r = new panel_registry;
    return *r;
}

}  // namespace

connection_panel::connection_panel(console_context& ctx) : ctx(ctx), gui_thread(std::this_thread::get_id())
{
    panel_registry& r = registry();
    std::lock_guard<std::mutex> g(r.mutex);
    token = r.next_token++;
    r.panels[token] = this;
}

connection_panel::~connection_panel()
{
    panel_registry& r = registry();
    std::lock_guard<std::mutex> g(r.mutex);
    r.panels.erase(token);
}

QString connection_panel::product_name(uint32_t id)
{
    static const char* const names[product_count] = {"M81", "M92", "R27", "R28"};
    return id < product_count ? QString(names[id]) : QString("unknown(%1)").arg(id);
}

QString connection_panel::variant_name(uint32_t index)
{
    static const char* const names[] = {"T2_T4", "T15", "T16"};
    return index < 3 ? QString(names[index]) : QString("unknown(%1)").arg(index);
}

void connection_panel::start_eth_poll()
{
    ctx.ui->cbox_eth_dev->clear();
    char ids[max_polled * id_len] = {};
    char count = 0;
    if (ctx.dev->cnc_dev_poll(ids, &count) != 0) return;
    int n = static_cast<signed char>(count);
    if (n > max_polled) n = max_polled;
    for (int i = 0; i < n; ++i) ctx.ui->cbox_eth_dev->addItem(QString::fromLatin1(ids + i * id_len, id_len));
    ctx.log->log_message(nullptr, nullptr, "poll %d devices...", static_cast<signed char>(count));
}

void connection_panel::set_eth_connect_type(int state)
{
    ctx.static_connect = state != 0;
    ctx.ui->cbox_eth_dev->setEnabled(!ctx.static_connect);
    ctx.ui->btn_eth_poll->setEnabled(!ctx.static_connect);
}

void connection_panel::start_eth_connect()
{
    if (device_open)
        close_device();
    else
        open_device();
}

void connection_panel::open_device()
{
    auto* cb = reinterpret_cast<void*>(token);
    int rc;
    if (ctx.static_connect) {
        rc = ctx.dev->cnc_open_dev_index(-1, on_device_disconnect, cb);
    } else {
        if (ctx.ui->cbox_eth_dev->count() == 0) {
            ctx.log->log_message(nullptr, nullptr, "no device be selected...");
            return;
        }
        QByteArray entry = ctx.ui->cbox_eth_dev->currentText().toLatin1();
        ctx.log->log_message(nullptr, nullptr, "open device %s...", entry.constData());
        char id[id_len] = {};
        std::memcpy(id, entry.constData(), std::min<int>(entry.size(), id_len));
        rc = ctx.dev->cnc_open_dev(id, on_device_disconnect, cb);
    }
    ctx.log->log_message(nullptr, nullptr, "%s.", rc == 0 ? "success" : "failed");
    if (rc != 0) return;

    ctx.ui->btn_eth_connect->setText(QString::fromUtf8("关闭"));
    ctx.ui->btn_eth_poll->setEnabled(false);
    ctx.ui->cbox_eth_dev->setEnabled(false);

    unsigned int version = 0;
    mcu_bsp_get_version(&version);
    uint32_t product = version >> 24, variant = (version >> 16) & 0x7F;
    uint32_t major = (version >> 8) & 0xFF, minor = version & 0xFF;
    if (product >= product_count) {
        ctx.log->log_message(nullptr, nullptr, "invalid product id.%d", int(product));
        return;
    }
    ctx.log->log_message(nullptr, nullptr, "%s(%s) firmware version:[%d.%d].", qPrintable(product_name(product)),
                         qPrintable(variant_name(variant)), int(major), int(minor));
    ctx.mcu_erased = major == 0;

    int32_t drive = 0;
    ctx.dev->cnc_ar_get_version(&drive);
    uint32_t dv = static_cast<uint32_t>(drive);
    ctx.log->log_message(nullptr, nullptr, "dc  firmware version:[%d.%d].", int(dv >> 16), int(dv & 0xFFFF));

    unsigned char hal_id[id_len] = {};
    mcu_bsp_get_mcu_id(hal_id, id_len);
    char hex[id_len * 2 + 1] = {};
    for (int i = 0; i < id_len; ++i) std::snprintf(hex + 2 * i, 3, "%02x", hal_id[i]);
    ctx.log->log_message(nullptr, nullptr, "machine hal id:[%s].", hex);

    ctx.newly_connected = true;
    device_open = true;
}

void connection_panel::close_device()
{
    ctx.log->log_message(nullptr, nullptr, "close device...");
    ctx.dev->cnc_dev_state();
    ctx.dev->cnc_close_dev();
    start_eth_poll();
    ctx.ui->btn_eth_connect->setText(QString::fromUtf8("连接"));
    if (!ctx.static_connect) {
        ctx.ui->btn_eth_poll->setEnabled(true);
        ctx.ui->cbox_eth_dev->setEnabled(true);
    }
    ctx.newly_connected = false;
    device_open = false;
}

void connection_panel::device_disconnected(int dev_id)
{
    Q_ASSERT(std::this_thread::get_id() == gui_thread);
    if (!device_open) return;
    ctx.log->log_message(nullptr, nullptr, "device %d disconnect...", dev_id);
    start_eth_connect();
}

int connection_panel::on_device_disconnect(void* cb_ctx, int dev_id)
{
    intptr_t key = reinterpret_cast<intptr_t>(cb_ctx);
    panel_registry& r = registry();
    std::unique_lock<std::mutex> g(r.mutex);
    auto it = r.panels.find(key);
    if (it == r.panels.end()) return 0;
    connection_panel* panel = it->second;
    if (std::this_thread::get_id() == panel->gui_thread) {
        // A close on the GUI thread: the panel cannot go away meanwhile.
        g.unlock();
        panel->device_disconnected(dev_id);
        return 0;
    }
    // Posted while the registry is locked, so the window still exists; a
    // window destroyed before the call runs takes the call with it. The
    // panel is looked up again when it runs.
    QMetaObject::invokeMethod(
        panel->ctx.window,
        [key, dev_id] {
            connection_panel* p = nullptr;
            {
                panel_registry& reg = registry();
                std::lock_guard<std::mutex> lock(reg.mutex);
                auto found = reg.panels.find(key);
                if (found != reg.panels.end()) p = found->second;
            }
            if (p) p->device_disconnected(dev_id);
        },
        Qt::QueuedConnection);
    return 0;
}
