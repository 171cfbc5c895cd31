// Private: what a board object keeps besides its operations.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "cnc_board.h"
#include "vesk.h"

struct cnc::board::state {
    explicit state(std::unique_ptr<transport> t) : link(std::move(t)) {}

    std::unique_ptr<transport> link;
    // Set by mcu_bsp_transfer_stop; taken (cleared) by the transfer that ends on it.
    std::atomic<bool> stop_requested{false};

    transfer_observer observer()
    {
        std::lock_guard<std::mutex> g(observer_lock);
        return watcher;
    }
    void set_observer(transfer_observer o)
    {
        std::lock_guard<std::mutex> g(observer_lock);
        watcher = std::move(o);
    }

private:
    std::mutex observer_lock;
    transfer_observer watcher;
};
