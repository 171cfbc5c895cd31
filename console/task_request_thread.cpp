#include "task_request_thread.h"

#include <atomic>
#include <cstring>

#include "pelk_board.h"
#include "pelk_cnc.h"

namespace {

constexpr uint32_t progress_lead = 128;  // the board counts a drive update from this offset
constexpr unsigned long poll_interval_ms = 100;
constexpr int stall_polls = 600;  // a minute without progress

void store_progress(int32_t* counter, int32_t value)
{
    // The window's timer reads the counter concurrently.
    if (counter) std::atomic_ref<int32_t>(*counter).store(value, std::memory_order_relaxed);
}

}  // namespace

task_request_thread::task_request_thread(QObject* parent) : QThread(parent)
{
    std::memset(static_cast<void*>(&request), 0, sizeof request);
}

task_request_thread::~task_request_thread()
{
    {
        std::lock_guard<std::mutex> lock(request_mutex);
        stopping = true;
        requestInterruption();
    }
    request_ready.notify_all();
    quit();
    wait();
    std::lock_guard<std::mutex> lock(request_mutex);
    qDeleteAll(request_queue);
    request_queue.clear();
}

bool task_request_thread::add_request(const task_request& req)
{
    request = req;
    {
        std::lock_guard<std::mutex> lock(request_mutex);
        if (request_queue.size() >= max_queued) return false;
        request_queue.append(new task_request(request));
    }
    request_ready.notify_one();
    return true;
}

int task_request_thread::queued() const
{
    std::lock_guard<std::mutex> lock(request_mutex);
    return request_queue.size();
}

void task_request_thread::run()
{
    for (;;) {
        task_request job;
        {
            std::unique_lock<std::mutex> lock(request_mutex);
            request_ready.wait(lock, [this] { return stopping || !request_queue.isEmpty(); });
            if (stopping) return;
            task_request* next = request_queue.takeFirst();
            job = *next;
            delete next;
        }
        if (job.type == TASK_FLASH) {
            int result = run_flash(job.flash);
            emit task_finished(int(job.flash.target), result);
        } else if (job.type == TASK_CNC) {
            int result = 0;
            if (job.cnc.type == CNC_TASK_RUN_FILE && job.cnc.dev)
                result = job.cnc.dev->cnc_start_nc_file(job.cnc.start_line, job.cnc.file_name, job.cnc.check ? 1 : 0);
            emit cnc_task_finished(int(job.cnc.type), result);
        }
    }
}

int task_request_thread::run_flash(_flash_msg& msg)
{
    switch (msg.target) {
    case FLASH_TARGET_FPGA: return mcu_bsp_fpga_flash(&msg);
    case FLASH_TARGET_SDCARD: return mcu_bsp_sdcard(&msg);
    case FLASH_TARGET_APP: return mcu_bsp_update_app(&msg);
    case FLASH_TARGET_SPINDLE: return poll_drive_update(msg, mcu_bsp_update_spindle(&msg));
    case FLASH_TARGET_DC: return poll_drive_update(msg, mcu_bsp_update_dc(&msg));
    default: return 0;  // FRAM: nothing to do
    }
}

// Follows a drive update the board runs from its SD card until the board's
// count reaches the file size less the lead. It never polls forever: it ends,
// passing the failure on, when the update could not be started or a progress
// read fails; for a file too short to reach the end mark, once the count
// reaches the file size or stops advancing; and for any file whose count
// stands still for a minute, with a failure.
int task_request_thread::poll_drive_update(const _flash_msg& msg, int result)
{
    if (result != 0) return result;
    const uint32_t size = msg.size;
    const bool short_file = size < progress_lead;
    bool have_last = false;
    int32_t last = 0;
    int still = 0;
    for (;;) {
        int32_t value = 0;
        int rc = mcu_bsp_read_progress(&value);
        if (rc != 0) return rc;
        store_progress(msg.progress, value >= 0 ? int32_t(uint32_t(value) + progress_lead) : 0);
        if (uint32_t(value) >= size - progress_lead) return result;  // a negative count too, as unsigned
        bool advanced = !have_last || value > last;
        still = advanced ? 0 : still + 1;
        if (short_file && (uint32_t(value) >= size || !advanced)) return result;
        if (still >= stall_polls) return PELK_ERR_COMMAND;
        have_last = true;
        last = value;
        if (isInterruptionRequested()) return result;
        msleep(poll_interval_ms);
    }
}
