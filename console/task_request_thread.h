// The board worker's job thread: runs flash and file transfers, drive
// updates and NC program downloads on its board one at a time, in the order
// they were submitted, and reports progress and each end with signals that
// reach the panels queued on the GUI thread.
#pragma once

#include <QList>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "cnc_board.h"
#include "task_request.h"

// Runs one NC job: the board, the start line, the file name and the check flag.
using nc_job_runner = std::function<int(cnc::board&, uint32_t start_line, char* file_name, uint8_t check)>;

class task_request_thread : public QThread {
    Q_OBJECT
public:
    static constexpr int max_queued = 1000;

    // board must outlive the thread.
    task_request_thread(cnc::board& board, QObject* parent);
    // Asks the thread to stop, waits for the job in progress to end and drops
    // the requests still waiting, without signals.
    ~task_request_thread() override;

    // GUI thread only. Queues a copy of req; a request arriving while 1000
    // are waiting is dropped. Returns false when it was dropped.
    bool add_request(const task_request& req);

    // Requests waiting (not counting the one running).
    int queued() const;

    // Bytes a write or read has moved so far (for a drive update, the bytes
    // the board has taken), for the progress bar; any thread. Erases and
    // formats leave it as it stands.
    uint64_t progress() const { return done_bytes.load(std::memory_order_relaxed); }
    void reset_progress() { done_bytes.store(0, std::memory_order_relaxed); }

    // Test seam: NC jobs run through runner instead of the board's own start
    // (a test holds a job open or tells jobs apart by their results). An
    // empty runner restores the board's.
    void set_nc_job_runner(nc_job_runner runner);

signals:
    void task_finished(int target, int result);
    void cnc_task_finished(int type, int result);
    // The progress counter, at most every 50 ms and at a transfer's end.
    void progress_changed(quint64 done);

protected:
    void run() override;

private:
    int run_flash(_flash_msg& msg);
    int follow_drive_update(const _flash_msg& msg, int result);
    // Sets the counter; reports it unless the last report is under 50 ms old.
    void report_progress(uint64_t done, bool last = false);

    cnc::board& board;
    std::atomic<uint64_t> done_bytes{0};
    std::chrono::steady_clock::time_point last_report{};  // worker thread only
    task_request request{};
    // The standard mutex and condition (rather than Qt's) are the ones the
    // thread sanitizer understands, so its checks of the console stay exact.
    mutable std::mutex request_mutex;
    std::condition_variable request_ready;
    bool stopping = false;  // set under request_mutex by the destructor
    QList<task_request*> request_queue;
    nc_job_runner nc_runner;  // under request_mutex
};
