// The worker thread: runs flash and file transfers, drive updates and NC jobs
// one at a time, in the order they were submitted, and reports each end with
// a signal that reaches the window queued on the GUI thread.
#pragma once

#include <QList>
#include <QThread>
#include <condition_variable>
#include <mutex>

#include "task_request.h"

class task_request_thread : public QThread {
    Q_OBJECT
public:
    static constexpr int max_queued = 1000;

    explicit task_request_thread(QObject* parent);
    // Asks the thread to stop, waits for the job in progress to end and drops
    // the requests still waiting, without signals.
    ~task_request_thread() override;

    // GUI thread only. Queues a copy of req; a request arriving while 1000
    // are waiting is dropped. Returns false when it was dropped.
    bool add_request(const task_request& req);

    // Requests waiting (not counting the one running).
    int queued() const;

signals:
    void task_finished(int target, int result);
    void cnc_task_finished(int type, int result);

protected:
    void run() override;

private:
    int run_flash(_flash_msg& msg);
    int poll_drive_update(const _flash_msg& msg, int result);

    task_request request{};
    // The standard mutex and condition (rather than Qt's) are the ones the
    // thread sanitizer understands, so its checks of the console stay exact.
    mutable std::mutex request_mutex;
    std::condition_variable request_ready;
    bool stopping = false;  // set under request_mutex by the destructor
    QList<task_request*> request_queue;
};
