// The worker thread: one job at a time in submission order, the 1000-request
// limit, jobs on the worker's own board with their progress, drive updates
// against the simulated board, and the end of the window while a job runs.
#include <QFile>
#include <QTimer>
#include <thread>
#include <QTemporaryDir>
#include <cstring>

#include "board_sim_transport.h"
#include "console_fixture.h"
#include "fake_nc_jobs.h"
#include "task_request_thread.h"

namespace {

// The ends the worker reports, received queued on the test's thread.
struct finished_log {
    QList<QList<int>> nc, flash;
    explicit finished_log(task_request_thread& worker, QObject* context)
    {
        QObject::connect(&worker, &task_request_thread::cnc_task_finished, context,
                         [this](int type, int ret) { nc.append({type, ret}); });
        QObject::connect(&worker, &task_request_thread::task_finished, context,
                         [this](int target, int ret) { flash.append({target, ret}); });
    }
};

task_request nc_job(uint32_t line)
{
    task_request r;
    std::memset(&r, 0, sizeof r);
    r.type = TASK_CNC;
    r.cnc.start_line = line;
    return r;
}

task_request flash_job(uint32_t target, uint32_t op = FLASH_OP_WRITE)
{
    task_request r;
    std::memset(&r, 0, sizeof r);
    r.type = TASK_FLASH;
    r.flash.target = target;
    r.flash.op = op;
    return r;
}

}  // namespace

class worker_test : public console_fixture {
    Q_OBJECT
private slots:
    void init() { fixture_init(); }
    void cleanup() { fixture_cleanup(); }

    void jobs_run_in_order_and_the_queue_holds_1000()
    {
        QVERIFY(start_board(board_config()));
        fake_nc_jobs jobs;
        task_request_thread worker(board_object(), nullptr);
        worker.set_nc_job_runner(jobs.runner());
        finished_log ends(worker, this);
        auto& nc = ends.nc;
        auto& flash = ends.flash;
        worker.start();

        jobs.close_gate();
        QVERIFY(worker.add_request(nc_job(1)));
        QVERIFY(jobs.wait_started(1));  // running, no longer queued
        for (uint32_t i = 0; i < 1000; ++i) QVERIFY(worker.add_request(nc_job(100 + i)));
        QVERIFY(!worker.add_request(nc_job(5000)));  // the 1001st waiting request
        QCOMPARE(worker.queued(), 1000);
        QTest::qWait(50);
        QCOMPARE(jobs.started().size(), size_t(1));  // one at a time

        jobs.open_gate();
        QVERIFY(wait_until([&] { return nc.size() == 1001; }));
        std::vector<uint32_t> expect{1};
        for (uint32_t i = 0; i < 1000; ++i) expect.push_back(100 + i);
        QCOMPARE(jobs.started(), expect);
        for (int i = 0; i < nc.size(); ++i) {
            QCOMPARE(nc.at(i).at(0), 0);
            QCOMPARE(nc.at(i).at(1), int(expect[size_t(i)]));
        }

        // A flash job for the FRAM does nothing and ends at once with 0.
        QVERIFY(worker.add_request(flash_job(1)));
        QVERIFY(wait_until([&] { return flash.size() == 1; }));
        QCOMPARE(flash.at(0), (QList<int>{1, 0}));
        QCOMPARE(nc.size(), 1001);
    }

    // A worker on a second board writes there, the fixture's board hears
    // nothing; a write's progress reaches the file size, an erase leaves it
    // as it stands.
    void jobs_go_to_the_workers_board_with_their_progress()
    {
        QVERIFY(start_board(board_config()));
        bsim::config cfg = board_config();
        cfg.listen = false;
        bsim::board other(cfg);
        QVERIFY(other.start());
        cnc::board other_link(bsim::in_process(other));
        QCOMPARE(other_link.cnc_open_dev_index(0, nullptr, nullptr), 0);

        QTemporaryDir dir;
        QString path = dir.filePath("image.bin");
        QByteArray image(3000, 'f');
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
        f.close();
        task_request r = flash_job(FLASH_TARGET_FPGA);
        QByteArray name = path.toLocal8Bit();
        QVERIFY(set_task_file_name(r.flash.file_name, name.constData(), size_t(name.size())));

        task_request_thread worker(other_link, nullptr);
        finished_log ends(worker, this);
        worker.start();
        QCOMPARE(worker.progress(), uint64_t(0));
        QVERIFY(worker.add_request(r));
        QVERIFY(wait_until([&] { return ends.flash.size() == 1; }));
        QCOMPARE(ends.flash.at(0), (QList<int>{0, 0}));
        QCOMPARE(worker.progress(), uint64_t(image.size()));
        std::vector<uint8_t> written = other.fpga_image();
        QVERIFY(written.size() >= size_t(image.size()));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(written.data()), image.size()), image);

        QVERIFY(worker.add_request(flash_job(FLASH_TARGET_FPGA, FLASH_OP_ERASE)));
        QVERIFY(wait_until([&] { return ends.flash.size() == 2; }));
        QCOMPARE(ends.flash.at(1), (QList<int>{0, 0}));
        QCOMPARE(worker.progress(), uint64_t(image.size()));
        worker.reset_progress();
        QCOMPARE(worker.progress(), uint64_t(0));

        QCOMPARE(board()->stats().frames_received, uint64_t(0));
        other_link.cnc_close_dev();
    }

    // Destroying the window waits for the running job; waiting jobs are
    // dropped without signals.
    void window_end_waits_for_the_running_job_only()
    {
        QVERIFY(start_board(board_config()));
        open_window();
        fake_nc_jobs jobs;
        jobs.close_gate();
        task_request_thread* worker = window()->worker().jobs();
        worker->set_nc_job_runner(jobs.runner());
        QVERIFY(worker->add_request(nc_job(7)));
        QVERIFY(worker->add_request(nc_job(8)));
        QVERIFY(jobs.wait_started(1));
        std::thread opener([&] {
            QThread::msleep(300);
            jobs.open_gate();
        });
        destroy_window();
        opener.join();
        QCOMPARE(jobs.started(), std::vector<uint32_t>{7});
    }

    void drive_updates_follow_the_board_progress_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("fail_read");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("bar");
        // Polls until the board's count reaches size - 128: the bar (count + 128) is full.
        QTest::newRow("1000 bytes") << 1000 << 2000 << false << 0 << 1000;
        // Too short for that mark: ends once the count reaches the file size.
        QTest::newRow("100 bytes") << 100 << 100 << false << 0 << 228;
        // A failed progress read ends the polling with the failure.
        QTest::newRow("read fails") << 1000 << 100 << true << int(PELK_ERR_COMMAND) << -1;
    }

    void drive_updates_follow_the_board_progress()
    {
        QFETCH(int, size);
        QFETCH(int, rate);
        QFETCH(bool, fail_read);
        QFETCH(int, result);
        QFETCH(int, bar);
        bsim::config c = board_config();
        c.update_rate = uint32_t(rate);
        QVERIFY(start_board(c));
        QCOMPARE(board_object().cnc_open_dev_index(-1, nullptr, nullptr), 0);  // cleanup closes it

        QTemporaryDir dir;
        QString path = dir.filePath("drive.bin");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'd'));
        f.close();

        if (fail_read) board()->arm_fault(bsim::fault_kind::close_now, 9, 1);  // after the start command
        task_request r = flash_job(FLASH_TARGET_SPINDLE);
        QByteArray name = path.toLocal8Bit();
        QVERIFY(set_task_file_name(r.flash.file_name, name.constData(), size_t(name.size())));
        r.flash.size = uint32_t(size);

        task_request_thread worker(board_object(), nullptr);
        finished_log ends(worker, this);
        auto& done = ends.flash;
        worker.start();
        QVERIFY(worker.add_request(r));
        QVERIFY(wait_until([&] { return done.size() == 1; }, 30000));
        QCOMPARE(done.at(0), (QList<int>{4, result}));
        if (bar >= 0) QVERIFY(worker.progress() >= uint64_t(bar));
    }

    void paths_longer_than_the_field_are_refused()
    {
        task_request r = nc_job(0);
        std::string fits(299, 'p'), too_long(300, 'p');
        QVERIFY(set_task_file_name(r.cnc.file_name, fits.c_str(), fits.size()));
        QCOMPARE(std::strlen(r.cnc.file_name), size_t(299));
        std::memset(r.cnc.file_name, 0, sizeof r.cnc.file_name);
        QVERIFY(!set_task_file_name(r.cnc.file_name, too_long.c_str(), too_long.size()));
        QCOMPARE(r.cnc.file_name[0], '\0');
        QVERIFY(!set_task_file_name(r.flash.file_name, fits.c_str(), 256));
    }
};

CONSOLE_TEST_MAIN(worker_test)
#include "worker_test.moc"
