// The toolpath preview in the console against the simulated board: the
// window opens on a program named in the path field and shows its extents,
// the executed part and the time follow the poll, a program that cannot run
// gets the question before anything is sent, a large load leaves the GUI
// thread free, and the form keeps its geometry.
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "nc_fixture.h"
#include "toolpath_preview.h"
#include "toolpath_view.h"
#include "toolpath_window.h"

#ifndef CONSOLE_TEST_SOURCE_DIR
#define CONSOLE_TEST_SOURCE_DIR "."
#endif

class toolpath_preview_test : public nc_fixture {
    Q_OBJECT
    toolpath_preview* preview() { return window()->preview(); }
    bool wait_loaded(const QString& path, int timeout_ms = 30000)
    {
        return wait_until([&] { return preview()->current() && preview()->current()->path == path; }, timeout_ms);
    }

private slots:
    void init() { nc_init(); }
    void cleanup() { nc_cleanup(); }

    void a_public_program_opens_the_preview_with_its_extents_and_the_form_keeps_its_geometry()
    {
        QString path = QString(CONSOLE_TEST_SOURCE_DIR) + "/../shared/gcode/jsdc.gcode";
        if (!QFile::exists(path)) QSKIP("no sample programs beside the repository");
        open_window();
        toolpath_window* w = preview()->window();
        QVERIFY(!w->isVisible());
        ui()->cnc_file_path->setText(path);  // typed or pasted: no dialog
        QVERIFY(wait_loaded(path));
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QString::fromUtf8("刀路预览"));
        auto d = preview()->current();
        QCOMPARE(w->extents_text(), extents_line(d->report));
        QVERIFY2(w->extents_text().startsWith("X ") && w->extents_text().contains(" Y ") &&
                     w->extents_text().contains("mm"),
                 qPrintable(w->extents_text()));
        QVERIFY(d->model.vertices().size() > 1000);
        // Not connected: the default settings' estimate, before any start.
        QVERIFY2(preview()->time_label()->text().startsWith(QString::fromUtf8("预计 ")),
                 qPrintable(preview()->time_label()->text()));
        QCOMPARE(w->time_text(), preview()->time_label()->text());

        // Closed, it comes back from the status bar's button.
        w->close();
        preview()->button()->click();
        QVERIFY(w->isVisible());

        QCOMPARE(window()->size(), QSize(1083, 726));
        QVERIFY(window()->menuBar()->actions().isEmpty());
        for (QToolBar* t : window()->findChildren<QToolBar*>()) QVERIFY(t->actions().isEmpty());
        // The status bar is as high with the preview's widgets as without them.
        QStatusBar* bar = window()->statusBar();
        int with = bar->sizeHint().height();
        QCOMPARE(bar->height(), with);
        preview()->button()->hide();
        preview()->time_label()->hide();
        bar->layout()->invalidate();
        bar->layout()->activate();
        QCOMPARE(bar->sizeHint().height(), with);
        preview()->button()->show();
        preview()->time_label()->show();
    }

    void the_executed_part_and_the_time_follow_the_job()
    {
        bring_up(3.0);  // three lines a second: several polls per line
        QByteArray program = "G21 G90\n";
        for (int i = 1; i <= 10; ++i) program += QString("G1 X%1 Y%2 F3000\n").arg(i * 5).arg(i % 2 * 5).toLatin1();
        QString path = write_file(work_file("zigzag.nc"), program);
        QStringList times;
        connect(preview()->time_label(), &QLabel::linkActivated, this, [] {});
        start_job(path);
        toolpath_view* view = preview()->window()->view();
        // Part-way: the executed part stands between the start and the end,
        // just before the line the board reports.
        QVERIFY(wait_until([&] {
            times << preview()->time_label()->text();
            uint64_t line = board()->machine().run_line;
            return view->executing_line() > 3 && view->executing_line() < 9 && line > 3;
        }));
        uint64_t shown = view->executing_line();
        QVERIFY(shown <= board()->machine().run_line + 1);
        const toolpath_model& m = preview()->current()->model;
        size_t done = m.executed_vertices(shown);
        QVERIFY(done > 2 && done < m.vertices().size());
        QVERIFY(std::any_of(times.begin(), times.end(), [](const QString& t) { return t.contains(QString::fromUtf8("剩余")); }));
        QVERIFY(wait_for_log("CNC:nc job time", 30000));
        QCOMPARE(view->executing_line(), uint64_t(program.count('\n') + 1));
        QCOMPARE(m.executed_vertices(view->executing_line()), m.vertices().size());
        QString end = log_entries().filter("CNC:nc job time").value(0);
        QVERIFY2(QRegExp("CNC:nc job time 0:00:0\\d, estimated 0:00:0\\d\\.").exactMatch(end), qPrintable(end));
        QVERIFY(preview()->time_label()->text().startsWith(QString::fromUtf8("用时")));
    }

    void a_program_that_cannot_run_is_questioned_and_cancel_sends_nothing()
    {
        bring_up();
        QString path = write_file(work_file("inverse.nc"), "G1 X1 F100\nG93 G1 X2 F1\nG1 X5000\nG1 X3\n");
        box_answer = QMessageBox::Cancel;
        boxes.clear();
        clear_log();
        start_job(path);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, box_kind::confirm);
        QString listing = QString::fromLocal8Bit(boxes[0].informative.toLocal8Bit());
        QVERIFY2(listing.contains("line 2: G93") && listing.contains("line 3: X"), qPrintable(listing));
        QVERIFY(log_entries().contains("CNC:nc process cancelled, 2 lines cannot run."));
        QVERIFY(!log_text().contains("nc process start"));
        QTest::qWait(600);
        QCOMPARE(frame_count(49), 0);  // no download
        QVERIFY(board()->machine().job_name.empty());

        // OK goes on as before, the question asked again.
        box_answer = QMessageBox::Ok;
        start_job(path);
        QCOMPARE(boxes.size(), 2);
        QVERIFY(wait_for_log("nc process start"));
    }

    void loading_a_large_program_keeps_the_gui_timer_running()
    {
        open_window();
        QByteArray big = "G21 G90\n";
        for (int i = 0; i < 200000; ++i)
            big += QString::asprintf("G1 X%d.%03d Y%d.%03d Z-%d F1200\n", i % 300, i % 997, (i / 300) % 200, i % 991, i % 3)
                       .toLatin1();
        QString path = write_file(work_file("large.nc"), big);
        qint64 longest = 0;
        QElapsedTimer since;
        QTimer tick;
        tick.setInterval(5);
        connect(&tick, &QTimer::timeout, this, [&] {
            longest = std::max(longest, since.restart());
        });
        since.start();
        tick.start();
        ui()->cnc_file_path->setText(path);
        QVERIFY(wait_loaded(path, 60000));
        QTest::qWait(50);  // the upload of the vertex buffer
        tick.stop();
        qInfo("200,001 lines: loaded in %.2f s, longest GUI gap %lld ms", preview()->current()->seconds, longest);
        // Reading the program on the GUI thread stalls it for seconds; the
        // bound leaves room for a loaded machine's scheduling.
        QVERIFY2(longest < 500, qPrintable(QString::number(longest)));
        QCOMPARE(preview()->current()->report.lines, uint64_t(200001));
    }
};

CONSOLE_TEST_MAIN(toolpath_preview_test)
#include "toolpath_preview_test.moc"
