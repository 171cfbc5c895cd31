// The one object of the console that talks to the board. It lives on the
// board thread (Qt's worker-object pattern): the GUI thread asks through
// queued calls and hears back through queued signals that carry values, so
// no board call, however late its answer, holds up the window. Long jobs
// (transfers, drive updates, NC programs) run on the job thread it owns, one
// at a time, so the status poll and short commands go on while they run.
#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "cnc_board.h"
#include "task_request.h"

class task_request_thread;

// What a connect learned, in the order it asked.
struct board_identity {
    int open_result = -1;       // of the open itself
    unsigned version_word = 0;  // asked only after a successful open
    bool known_product = false; // drive version and identifier asked only then
    int32_t drive_version = 0;
    QByteArray hal_id;          // the MCU's identifier bytes
};

// One status poll: the status block and, after a good read, new result text.
struct board_poll {
    int result = -1;
    cnc_status status{};
    QByteArray results;  // empty: nothing new
};

// One discovery: the identifiers listed and the count the board library reported.
struct board_list {
    int result = -1;
    int reported = 0;
    QStringList ids;
};

Q_DECLARE_METATYPE(board_identity)
Q_DECLARE_METATYPE(board_poll)
Q_DECLARE_METATYPE(board_list)

class board_worker : public QObject {
    Q_OBJECT
public:
    // board must outlive the worker. Made on the GUI thread; start() moves
    // it to its own thread.
    explicit board_worker(cnc::board& board);
    // Stops the job thread (a job under way runs to its end first) and the
    // board thread. GUI thread.
    ~board_worker() override;
    board_worker(const board_worker&) = delete;
    board_worker& operator=(const board_worker&) = delete;

    void start();

    // Runs op on the board thread after every call made before it; first
    // before() and then done(op's value) run on receiver's thread, unless the
    // receiver is gone by then. Any thread.
    template <typename T>
    void call(QObject* receiver, std::function<T(cnc::board&)> op, std::function<void(T)> done,
              std::function<void()> before = {})
    {
        post([this, receiver, op = std::move(op), done = std::move(done), before = std::move(before)] {
            if (before) QMetaObject::invokeMethod(receiver, before, Qt::QueuedConnection);
            T value = op(board);
            if (done) QMetaObject::invokeMethod(receiver, [done, value] { done(value); }, Qt::QueuedConnection);
        });
    }
    // The common case: a board call whose result code is all that comes back.
    void command(QObject* receiver, std::function<int(cnc::board&)> op, std::function<void(int)> done,
                 std::function<void()> before = {})
    {
        call<int>(receiver, std::move(op), std::move(done), std::move(before));
    }

    // Requests asked for whose answers have not all reached the GUI thread
    // yet, jobs not counted. 0 when the worker is idle.
    int outstanding() const { return pending.load(); }
    // True while the job thread holds or runs a job (GUI thread).
    bool job_under_way() const { return jobs_open > 0; }

    // The job thread (tests hold jobs open through its seam).
    task_request_thread* jobs() { return job_thread.get(); }

    // The requests below may be called from the GUI thread; each runs on
    // the board thread in the order asked, and answers with its signal.
    void discover();
    void open_listed(const QByteArray& id);
    void open_static();
    void close_link();
    void poll();
    // Hands a job to the job thread; false (nothing queued) when its queue is full.
    bool submit(const task_request& job);

signals:
    void discovered(board_list list);
    void opened(board_identity identity);
    void closed();
    void polled(board_poll poll);
    // The link ended (the board hung up, or a close): its device number.
    void disconnected(int dev_id);
    // Bytes moved by the transfer under way (board-reported for a drive update).
    void progress(quint64 done);
    void task_finished(int target, int result);
    void cnc_task_finished(int type, int result);

private:
    void post(std::function<void()> work);
    void read_identity(board_identity& who);
    static int on_link_closed(void* token, int dev_id);

    cnc::board& board;
    QThread thread;
    QObject* gui_anchor;  // lives on the GUI thread: where answers are counted
    std::unique_ptr<task_request_thread> job_thread;
    std::atomic<int> pending{0};
    int jobs_open = 0;  // GUI thread: jobs submitted, not yet ended
    intptr_t token;     // names this worker to the link's close callback
};
