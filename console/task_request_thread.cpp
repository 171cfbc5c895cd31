#include "task_request_thread.h"

#include <cstring>

#include "cnc_tasks.h"

namespace {

constexpr unsigned poll_interval_ms = 100;
constexpr unsigned stall_ms = 60000;  // a minute without progress fails the update

// Writes and reads feed the bar; erases and formats leave it as it stands.
bool shows_progress(const _flash_msg& msg) { return msg.op == FLASH_OP_WRITE || msg.op == FLASH_OP_READ; }

}  // namespace

task_request_thread::task_request_thread(cnc::board& board, QObject* parent) : QThread(parent), board(board)
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

void task_request_thread::set_nc_job_runner(nc_job_runner runner)
{
    std::lock_guard<std::mutex> lock(request_mutex);
    nc_runner = std::move(runner);
}

void task_request_thread::run()
{
    for (;;) {
        task_request job;
        nc_job_runner runner;
        {
            std::unique_lock<std::mutex> lock(request_mutex);
            request_ready.wait(lock, [this] { return stopping || !request_queue.isEmpty(); });
            if (stopping) return;
            task_request* next = request_queue.takeFirst();
            job = *next;
            delete next;
            runner = nc_runner;
        }
        if (job.type == TASK_FLASH) {
            int result = run_flash(job.flash);
            emit progress_changed(done_bytes.load(std::memory_order_relaxed));  // where it stopped
            emit task_finished(int(job.flash.target), result);
        } else if (job.type == TASK_CNC) {
            int result = 0;
            if (job.cnc.type == CNC_TASK_RUN_FILE) {
                const uint8_t check = job.cnc.check ? 1 : 0;
                result = runner ? runner(board, job.cnc.start_line, job.cnc.file_name, check)
                                : board.cnc_start_nc_file(job.cnc.start_line, job.cnc.file_name, check);
            }
            emit cnc_task_finished(int(job.cnc.type), result);
        }
    }
}

int task_request_thread::run_flash(_flash_msg& msg)
{
    msg.progress = nullptr;  // progress comes through the observer only
    switch (msg.target) {
    case FLASH_TARGET_FPGA:
    case FLASH_TARGET_SDCARD:
    case FLASH_TARGET_APP: {
        cnc::transfer_observer observer;
        if (shows_progress(msg))
            observer = [this](uint64_t done, uint64_t total) { report_progress(done, done >= total); };
        return cnc::run_transfer(board, msg, observer);
    }
    // Staging a drive image leaves the bar alone: it shows the board's update.
    case FLASH_TARGET_SPINDLE:
    case FLASH_TARGET_DC: return follow_drive_update(msg, cnc::run_transfer(board, msg, {}));
    default: return 0;  // FRAM: nothing to do
    }
}

// Follows a drive update the board runs from its SD card. It never polls
// forever: a start or progress read that fails ends it with that failure, a
// count standing still for a minute with a failure; a board reporting a
// negative count, or the window closing, ends it without one.
int task_request_thread::follow_drive_update(const _flash_msg& msg, int result)
{
    if (result != 0) return result;
    // An image shorter than the lead shows the lead as well: full from the first read.
    const uint64_t lead = msg.size < cnc::UPDATE_PROGRESS_LEAD ? cnc::UPDATE_PROGRESS_LEAD : 0;
    const cnc::update_outcome out =
        cnc::follow_update(board, msg.size, cnc::update_limits{poll_interval_ms, stall_ms}, [&](uint64_t shown) {
            report_progress(shown + lead);
            return !isInterruptionRequested();
        });
    switch (out.end) {
    case cnc::update_end::finished:
    case cnc::update_end::stopped: return result;
    case cnc::update_end::board_failed: report_progress(0, true); return result;
    case cnc::update_end::stalled: return PELK_ERR_COMMAND;
    case cnc::update_end::read_failed: return out.result;
    }
    return result;
}

void task_request_thread::report_progress(uint64_t done, bool last)
{
    done_bytes.store(done, std::memory_order_relaxed);
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - last_report < std::chrono::milliseconds(50)) return;
    last_report = now;
    emit progress_changed(done);
}
