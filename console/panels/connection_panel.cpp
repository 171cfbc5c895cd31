#include "connection_panel.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMetaObject>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "console_context.h"
#include "message_log.h"
#include "cnc_tasks.h"
#include "ui_pelk_test.h"

namespace {

constexpr int id_len = 12;
constexpr int max_polled = 32;

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

void connection_panel::start_eth_poll()
{
    ctx.ui->cbox_eth_dev->clear();
    char ids[max_polled * id_len] = {};
    char count = 0;
    if (ctx.board.cnc_dev_poll(ids, &count) != 0) return;
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
        rc = ctx.board.cnc_open_dev_index(-1, on_device_disconnect, cb);
    } else {
        if (ctx.ui->cbox_eth_dev->count() == 0) {
            ctx.log->log_message(nullptr, nullptr, "no device be selected...");
            return;
        }
        QByteArray entry = ctx.ui->cbox_eth_dev->currentText().toLatin1();
        ctx.log->log_message(nullptr, nullptr, "open device %s...", entry.constData());
        char id[id_len] = {};
        std::memcpy(id, entry.constData(), std::min<int>(entry.size(), id_len));
        rc = ctx.board.cnc_open_dev(id, on_device_disconnect, cb);
    }
    ctx.log->log_message(nullptr, nullptr, "%s.", rc == 0 ? "success" : "failed");
    if (rc != 0) return;

    show_connect_caption(true);
    ctx.ui->btn_eth_poll->setEnabled(false);
    ctx.ui->cbox_eth_dev->setEnabled(false);

    // Version, drive version, identifier: in this order, and nothing after a
    // product the console does not know.
    unsigned int word = 0;
    ctx.board.mcu_bsp_get_version(&word);
    const cnc::version_info version = cnc::split_version(word);
    if (!cnc::known_product(version.product)) {
        ctx.log->log_message(nullptr, nullptr, "invalid product id.%d", int(version.product));
        return;
    }
    ctx.log->log_message(nullptr, nullptr, "%s(%s) firmware version:[%s].", cnc::product_name(version.product).c_str(),
                         cnc::variant_name(version.variant).c_str(),
                         cnc::version_text(version.major, version.minor).c_str());
    ctx.mcu_erased = version.major == 0;

    int32_t drive = 0;
    ctx.board.cnc_ar_get_version(&drive);
    ctx.log->log_message(nullptr, nullptr, "dc  firmware version:[%s].",
                         cnc::drive_version_text(static_cast<uint32_t>(drive)).c_str());

    unsigned char hal_id[id_len] = {};
    ctx.board.mcu_bsp_get_mcu_id(hal_id, id_len);
    ctx.log->log_message(nullptr, nullptr, "machine hal id:[%s].", cnc::hex_text(hal_id, id_len).c_str());

    ctx.newly_connected = true;
    ++ctx.connections;
    device_open = true;
}

void connection_panel::close_device()
{
    ctx.log->log_message(nullptr, nullptr, "close device...");
    ctx.board.cnc_dev_state();
    ctx.board.cnc_close_dev();
    start_eth_poll();
    show_connect_caption(false);
    if (!ctx.static_connect) {
        ctx.ui->btn_eth_poll->setEnabled(true);
        ctx.ui->cbox_eth_dev->setEnabled(true);
    }
    ctx.newly_connected = false;
    device_open = false;
}

void connection_panel::show_connect_caption(bool close)
{
    close_caption = close;
    ctx.ui->btn_eth_connect->setText(close ? QCoreApplication::translate("connection_panel", "关闭")
                                           : QCoreApplication::translate("connection_panel", "连接"));
}

void connection_panel::retranslate() { show_connect_caption(close_caption); }

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
