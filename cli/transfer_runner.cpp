#include "transfer_runner.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "cnc_tasks.h"
#include "interrupt.h"
#include "progress.h"
#include "session.h"

transfer_outcome run_observed(session& s, const std::string& label, uint64_t total,
                              const std::function<int(const cnc::transfer_observer&)>& work)
{
    // The observer runs on the transferring thread; this one reads the
    // count for display. Chunks travel padded to whole 4-byte words, and the
    // count says what went over (what the card and the flash then hold).
    std::atomic<uint64_t> done_bytes{0};
    cnc::transfer_observer observer = [&done_bytes](uint64_t done, uint64_t) {
        done_bytes.store((done + 3) & ~uint64_t(3), std::memory_order_relaxed);
    };
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    bool interrupted = false;
    int result = 0;
    progress_display bar(label, total);
    std::thread worker([&] {
        int r = work(observer);
        std::lock_guard<std::mutex> g(m);
        result = r;
        done = true;
        cv.notify_all();
    });
    {
        std::unique_lock<std::mutex> g(m);
        while (!done) {
            cv.wait_for(g, std::chrono::milliseconds(100));
            if (!done && !interrupted && take_interrupt()) {
                interrupted = true;
                s.dev->mcu_bsp_transfer_stop(1);
            }
            if (!done) bar.update(done_bytes.load(std::memory_order_relaxed));
        }
    }
    worker.join();
    // A request the transfer did not take (it ended on its own) must not
    // stop the next one.
    if (interrupted) s.dev->mcu_bsp_transfer_stop(0);
    transfer_outcome out;
    out.interrupted = interrupted;
    out.result = result;
    out.bytes = done_bytes.load();
    out.seconds = bar.seconds();
    bar.finish(out.bytes);
    return out;
}

transfer_outcome run_transfer(session& s, const std::string& label, uint64_t total, _flash_msg& msg)
{
    return run_observed(s, label, total,
                        [&](const cnc::transfer_observer& observer) { return cnc::run_transfer(*s.dev, msg, observer); });
}
