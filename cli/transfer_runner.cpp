#include "transfer_runner.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "interrupt.h"
#include "pelk.h"
#include "progress.h"

transfer_outcome run_transfer(const std::string& label, uint64_t total,
                              const std::function<int(int32_t* counter)>& work)
{
    // The library stores the counter with plain writes; this side only reads
    // it for display, through an atomic view.
    alignas(4) int32_t counter = 0;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    bool interrupted = false;
    int result = 0;
    progress_display bar(label, total);
    std::thread worker([&] {
        int r = work(&counter);
        std::lock_guard<std::mutex> g(m);
        result = r;
        done = true;
        cv.notify_all();
    });
    auto read_counter = [&] {
        int32_t v = std::atomic_ref<int32_t>(counter).load(std::memory_order_relaxed);
        return v > 0 ? uint64_t(v) : 0;
    };
    {
        std::unique_lock<std::mutex> g(m);
        while (!done) {
            cv.wait_for(g, std::chrono::milliseconds(100));
            if (!done && !interrupted && take_interrupt()) {
                interrupted = true;
                mcu_bsp_transfer_stop(1);
            }
            if (!done) bar.update(read_counter());
        }
    }
    worker.join();
    // A request the transfer did not take (it ended on its own) must not
    // stop the next one.
    if (interrupted) mcu_bsp_transfer_stop(0);
    transfer_outcome out;
    out.interrupted = interrupted;
    out.result = result;
    out.bytes = read_counter();
    out.seconds = bar.seconds();
    bar.finish(out.bytes);
    return out;
}
