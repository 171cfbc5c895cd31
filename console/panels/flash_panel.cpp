#include "flash_panel.h"

#include <QProgressBar>
#include <atomic>

#include "ui_pelk_test.h"

flash_panel::flash_panel(console_context& ctx) : ctx(ctx) {}

int flash_panel::sf_select_file() { return 0; }
int flash_panel::sf_update() { return 0; }
int flash_panel::sf_earse() { return 0; }
int flash_panel::sf_read() { return 0; }
int flash_panel::sf_stop(int, int) { return 0; }
int flash_panel::sf_timer_update_bar() { return 0; }
QString flash_panel::choose_file() { return QString(); }

void flash_panel::reset_bar(uint32_t total)
{
    sf_total = total;
    std::atomic_ref<int32_t>(ctx.sf_progress).store(0, std::memory_order_relaxed);
    ctx.ui->sf_update_bar->reset();
    ctx.ui->sf_update_bar->setRange(0, int(total));
}
