#include "board_worker.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "cnc_tasks.h"
#include "task_request_thread.h"

namespace {

constexpr int id_len = 12;
constexpr int max_listed = 32;
constexpr uint16_t results_capacity = 10239;  // and its terminating zero

// Workers alive, by the token their links carry. The link may call back
// after the worker is gone (the library closes its links as the program
// ends); such a call finds no entry. Never destroyed: that call may come
// after static destruction has begun.
struct worker_registry {
    std::mutex mutex;
    std::map<intptr_t, board_worker*> workers;
    intptr_t next_token = 1;
};

worker_registry& registry()
{
    static worker_registry* const r = new worker_registry;
    return *r;
}

int register_types()
{
    qRegisterMetaType<board_identity>();
    qRegisterMetaType<board_poll>();
    qRegisterMetaType<board_list>();
    return 0;
}

}  // namespace

board_worker::board_worker(cnc::board& board)
    : board(board), gui_anchor(new QObject), job_thread(std::make_unique<task_request_thread>(board, nullptr))
{
    static const int registered = register_types();
    (void)registered;
    thread.setObjectName("board");
    {
        worker_registry& r = registry();
        std::lock_guard<std::mutex> g(r.mutex);
        token = r.next_token++;
        r.workers[token] = this;
    }
    // A job's end and progress come from the job thread; each end is counted
    // where the GUI hears of it.
    connect(job_thread.get(), &task_request_thread::task_finished, this, &board_worker::task_finished,
            Qt::DirectConnection);
    connect(job_thread.get(), &task_request_thread::cnc_task_finished, this, &board_worker::cnc_task_finished,
            Qt::DirectConnection);
    connect(job_thread.get(), &task_request_thread::progress_changed, this, &board_worker::progress,
            Qt::DirectConnection);
    auto ended = [this] { jobs_open = std::max(0, jobs_open - 1); };
    connect(job_thread.get(), &task_request_thread::task_finished, gui_anchor, ended, Qt::QueuedConnection);
    connect(job_thread.get(), &task_request_thread::cnc_task_finished, gui_anchor, ended, Qt::QueuedConnection);
}

board_worker::~board_worker()
{
    {
        worker_registry& r = registry();
        std::lock_guard<std::mutex> g(r.mutex);
        r.workers.erase(token);
    }
    // The job first: it may still be reporting; then the board thread,
    // which finishes the call in hand and drops the rest.
    job_thread.reset();
    thread.requestInterruption();
    thread.quit();
    thread.wait();
    delete gui_anchor;
}

void board_worker::start()
{
    moveToThread(&thread);
    thread.start();
    job_thread->start();
}

void board_worker::post(std::function<void()> work)
{
    ++pending;
    QMetaObject::invokeMethod(
        this,
        [this, work = std::move(work)] {
            if (!QThread::currentThread()->isInterruptionRequested()) work();
            // Counted off on the GUI thread, after every answer of this
            // request has been delivered there.
            QMetaObject::invokeMethod(gui_anchor, [this] { --pending; }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void board_worker::discover()
{
    post([this] {
        board_list list;
        std::vector<char> ids(max_listed * id_len, 0);
        char count = 0;
        list.result = board.cnc_dev_poll(ids.data(), &count);
        list.reported = static_cast<signed char>(count);
        if (list.result == 0) {
            const int n = std::clamp(list.reported, 0, max_listed);
            // A shorter identifier is padded with zeros, which are no part of its name.
            for (int i = 0; i < n; ++i) {
                const char* id = ids.data() + i * id_len;
                list.ids << QString::fromLatin1(id, int(strnlen(id, id_len)));
            }
        }
        emit discovered(list);
    });
}

// Version, drive version, identifier: in this order, and nothing after a
// product the console does not know.
void board_worker::read_identity(board_identity& who)
{
    board.mcu_bsp_get_version(&who.version_word);
    who.known_product = cnc::known_product(cnc::split_version(who.version_word).product);
    if (!who.known_product) return;
    board.cnc_ar_get_version(&who.drive_version);
    unsigned char hal[id_len] = {};
    board.mcu_bsp_get_mcu_id(hal, id_len);
    who.hal_id = QByteArray(reinterpret_cast<const char*>(hal), id_len);
}

void board_worker::open_listed(const QByteArray& entry)
{
    post([this, entry] {
        board_identity who;
        char id[id_len] = {};
        std::copy_n(entry.constData(), std::min<int>(entry.size(), id_len), id);
        who.open_result = board.cnc_open_dev(id, on_link_closed, reinterpret_cast<void*>(token));
        if (who.open_result == 0) read_identity(who);
        emit opened(who);
    });
}

void board_worker::open_static()
{
    post([this] {
        board_identity who;
        who.open_result = board.cnc_open_dev_index(-1, on_link_closed, reinterpret_cast<void*>(token));
        if (who.open_result == 0) read_identity(who);
        emit opened(who);
    });
}

void board_worker::close_link()
{
    post([this] {
        board.cnc_dev_state();
        board.cnc_close_dev();
        emit closed();
    });
}

void board_worker::poll()
{
    post([this] {
        board_poll p;
        p.result = board.cnc_get_status(&p.status);
        if (p.result == 0) {
            std::vector<uint8_t> buf(results_capacity + 1, 0);
            uint16_t len = 0;
            if (board.cnc_get_results(buf.data(), results_capacity, &len) == 0 && len > 0)
                p.results = QByteArray(reinterpret_cast<const char*>(buf.data()), std::min(len, results_capacity));
        }
        emit polled(p);
    });
}

bool board_worker::submit(const task_request& job)
{
    if (!job_thread->add_request(job)) return false;
    ++jobs_open;
    return true;
}

int board_worker::on_link_closed(void* token, int dev_id)
{
    worker_registry& r = registry();
    std::lock_guard<std::mutex> g(r.mutex);
    auto it = r.workers.find(reinterpret_cast<intptr_t>(token));
    // Emitted under the lock, so the worker cannot go meanwhile; it reaches
    // the GUI queued, whichever thread the link calls from.
    if (it != r.workers.end()) emit it->second->disconnected(dev_id);
    return 0;
}
