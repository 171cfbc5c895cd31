// The flash group: choose a file and a target, then write, erase or read it
// back on the worker thread, with a progress bar and an end message.
#pragma once

#include <QString>
#include <cstdint>

#include "console_context.h"

class flash_panel : public flash_actions {
public:
    explicit flash_panel(console_context& ctx);

    int sf_select_file();
    int sf_update();
    int sf_earse() override;
    int sf_read() override;
    int sf_stop(int id, int ret);
    int sf_timer_update_bar();
    QString choose_file() override;
    // The bar back to 0 with the range 0 .. total.
    void reset_bar(uint32_t total);

private:
    console_context& ctx;
    QString last_file;
    uint32_t sf_total = 0;
};
