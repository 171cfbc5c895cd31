// Following an update the board runs from its SD card, by its progress count.
#include <chrono>
#include <thread>

#include "cnc_tasks.h"

cnc::update_outcome cnc::follow_update(board& b, uint64_t size, const update_limits& limits,
                                       const std::function<bool(uint64_t shown)>& tick)
{
    using clock = std::chrono::steady_clock;
    const bool short_image = size < UPDATE_PROGRESS_LEAD;
    const uint64_t end = short_image ? size : size - UPDATE_PROGRESS_LEAD;
    update_outcome out;
    bool have_last = false;
    int last = 0;
    auto last_change = clock::now();
    for (;;) {
        int value = 0;
        if (int r = b.mcu_bsp_read_progress(&value); r != PELK_OK) {
            out.end = update_end::read_failed;
            out.result = r;
            return out;
        }
        if (value < 0) {
            out.end = update_end::board_failed;
            return out;
        }
        out.shown = std::min<uint64_t>(static_cast<uint64_t>(value) + (short_image ? 0 : UPDATE_PROGRESS_LEAD), size);
        bool advanced = !have_last || value > last;
        auto now = clock::now();
        if (advanced) last_change = now;
        if (static_cast<uint64_t>(value) >= end || (short_image && have_last && !advanced)) {
            if (tick) tick(out.shown);
            out.end = update_end::finished;
            return out;
        }
        if (tick && !tick(out.shown)) {
            out.end = update_end::stopped;
            return out;
        }
        if (now - last_change >= std::chrono::milliseconds(limits.stall_ms)) {
            out.end = update_end::stalled;
            return out;
        }
        have_last = true;
        last = value;
        std::this_thread::sleep_for(std::chrono::milliseconds(limits.poll_ms));
    }
}
