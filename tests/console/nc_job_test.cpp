// The NC job panel against the simulated board running its interpreter:
// jobs run to the end with the bars moving, start lines and the file
// compare, refused starts, a file of real size, real programs, tool words.
#include <fstream>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "gcode/check.h"
#include "nc_fixture.h"
#include "task_request_thread.h"

#ifndef CONSOLE_TEST_SOURCE_DIR
#define CONSOLE_TEST_SOURCE_DIR "."
#endif

namespace {

const QByteArray three_lines = "G1 X1 F1000\nG1 Y2\nG1 Z3\n";

}  // namespace

class nc_job_test : public nc_fixture {
    Q_OBJECT
private slots:
    void init() { nc_init(); }
    void cleanup() { nc_cleanup(); }

    void a_short_job_runs_to_the_end_with_the_bars_moving()
    {
        bring_up(2.0);  // slow enough that several polls see it part-way
        QString path = write_file(work_file("part.nc"), three_lines);
        QList<int> run_bar;
        connect(ui()->cnc_update_bar, &QProgressBar::valueChanged, this, [&](int v) { run_bar << v; });
        clear_log();
        start_job(path);
        QCOMPARE(ui()->cnc_file_path->text(), path);
        QVERIFY(wait_for_log("CNC:nc process finish,0"));
        QVERIFY(wait_job_done(3));
        QVERIFY(wait_until([&] { return ui()->cnc_update_bar->value() == 3; }));
        QCOMPARE(log_entries().mid(0, 3),
                 (QStringList{QString("CNC:open cnc file success.size %1 bytes....").arg(three_lines.size()),
                              "CNC:get nc file line 3.", "CNC:nc process start.3 lines from 0 line and no check"}));
        QVERIFY2(std::any_of(run_bar.begin(), run_bar.end(), [](int v) { return v > 0 && v < 3; }),
                 "the execution bar never stood part-way");
        // The board counts the numbered copy; the bar stops at the file's size.
        QCOMPARE(ui()->cnc_nc_download->maximum(), int(three_lines.size()));
        QCOMPARE(ui()->cnc_nc_download->value(), int(three_lines.size()));

        QCOMPARE(read_file(QString::fromStdString(board()->sd_path("part_N.nc"))), "(NFL3)\r\n" + three_lines);
        QCOMPARE(board()->machine().machine_pos, (std::array<float, 9>{1, 2, 3}));
        QVERIFY2(!QFile::exists(work_file("part_N.nc")), "the numbered copy is removed after the run");
    }

    // A running job is safe from stray clicks: 加工 neither restarts it
    // (disabled, and refused when called anyway), and over a paused job
    // 加工, 回零 and 复位 ask first and send nothing when answered Cancel;
    // closing the window during the job asks too.
    void a_running_job_is_not_restarted_or_ended_by_a_stray_click()
    {
        bring_up(5.0);
        QByteArray program;
        for (int i = 1; i <= 200; ++i) program += "G1 X" + QByteArray::number(i % 7) + " F1000\n";
        QString path = write_file(work_file("long.nc"), program);
        start_job(path);
        QVERIFY(wait_until([&] { return board()->machine().run_line >= 2; }, 30000));
        QVERIFY(wait_until([&] { return !ui()->cnc_start->isEnabled(); }));
        click(ui()->cnc_start);
        window()->cnc_start();
        QVERIFY(log_entries().contains("CNC:a job is running: pause or reset it first."));
        QCOMPARE(board_job_starts(), 1);

        click(ui()->cnc_stop);
        QVERIFY(wait_until([&] { return ui()->cnc_run_state_pause->isChecked() && ui()->cnc_start->isEnabled(); }));
        const uint32_t paused_at = board()->machine().run_line;
        box_answer = 0x400000;  // Cancel
        boxes.clear();
        clear_log();
        for (QPushButton* b : {ui()->cnc_start, ui()->cnc_home, ui()->cnc_reset}) click(b);
        QCOMPARE(boxes.size(), 3);
        QCOMPARE(log_entries(), QStringList{});
        QVERIFY(board()->machine().job_active && board()->machine().paused);
        QCOMPARE(board()->machine().run_line, paused_at);

        QVERIFY(!window()->close());  // Cancel keeps the window
        QCOMPARE(boxes.size(), 4);
        QVERIFY(boxes.last().informative.contains(QString::fromUtf8("SD卡")));

        box_answer = 0x400;  // OK: the reset goes out and the job ends
        click(ui()->cnc_reset);
        QVERIFY(log_entries().contains("CNC:reset."));
        QVERIFY(wait_until([&] { return !board()->machine().job_active; }));
        QCOMPARE(board_job_starts(), 1);
    }

    void start_line_the_compare_and_tool_words()
    {
        bring_up();
        QString path = write_file(work_file("part.nc"), three_lines);
        clear_log();
        start_job(path, "2", true);
        QVERIFY(wait_for_log("CNC:nc process finish,0"));
        QVERIFY(wait_job_done(3));
        QVERIFY(log_entries().contains("CNC:nc process start.3 lines from 2 line and check"));
        QCOMPARE(board()->machine().machine_pos, (std::array<float, 9>{0, 2, 3}));  // line 1 skipped
        int downloads = frame_count(49);
        QVERIFY(downloads > 0);

        // Again with the compare: the board's copy matches, nothing is
        // downloaded, and the job still runs.
        clear_log();
        start_job(path, "", true);
        QVERIFY(wait_for_log("CNC:nc process finish,0"));
        QVERIFY(wait_until([&] { return board_job_starts() == 2; }));
        QVERIFY(wait_job_done(3));
        QCOMPARE(frame_count(49), downloads);

        // Tool words: T&Q for tool 5, then T for tool 1 and Q for tool 2.
        clear_log();
        for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
                 ui()->cnc_tool_tq, ui()->cnc_tool_5, ui()->cnc_tool_t, ui()->cnc_tool_1, ui()->cnc_tool_q, ui()->cnc_tool_2})
            click(b);
        QCOMPARE(log_entries().filter("tool chnage:"),
                 (QStringList{"CNC:tool chnage:T5 Q5 m6", "CNC:tool chnage:T1 m6", "CNC:tool chnage:Q2 m6"}));
        QCOMPARE(board()->machine().tools, (std::array<uint8_t, 2>{1, 2}));
    }

    void starts_that_are_refused()
    {
        QString why;
        QVERIFY2(start_board(board_config(), &why), qPrintable(why));
        open_window();
        QString path = write_file(work_file("part.nc"), three_lines);
        ui()->cnc_file_path->setText(path);
        clear_log();
        click(ui()->cnc_start);
        QCOMPARE(log_entries(), QStringList{"dev not open."});

        QVERIFY(connect_board());
        auto refused = [&](const QString& file, const QString& line, const QStringList& log) {
            clear_log();
            ui()->cnc_file_path->setText(file);
            ui()->cnc_continue_line->setText(line);
            click(ui()->cnc_start);
            QCOMPARE(log_entries(), log);
            QCOMPARE(window()->worker().jobs()->queued(), 0);
        };
        refused("", "", {"CNC:need select a nc file."});
        refused(path, "-5", {});
        refused(work_file("missing.nc"), "", {"CNC:open cnc file failed....", "CNC:open nc file fail."});
        // A path too long for the job record is refused whole, never cut.
        QString deep = work_file("d");
        while (deep.size() < 320) deep += "/dddddddddddddddddddd";
        QVERIFY(QDir().mkpath(deep));
        QString long_path = write_file(deep + "/part.nc", three_lines);
        refused(long_path, "", {"CNC:open cnc file success.size 24 bytes....", "CNC:get nc file line 3.",
                                "CNC:nc file path too long."});
        QTest::qWait(600);
        QVERIFY(board()->machine().job_name.empty());
    }

    void a_file_of_real_size_opens_and_downloads_while_the_window_runs()
    {
        bring_up();
        QByteArray big;
        const int lines = 60000;
        for (int i = 0; i < lines; ++i)
            big += QString::asprintf("G1 X%d.%03d Y%d.%03d F1000 (a comment that makes the line long) ; pad\n",
                                     i % 400, i % 1000, i % 300, (i * 7) % 1000)
                       .toLatin1();
        big += "M5";  // a last line without a line feed counts
        QString path = write_file(work_file("big.nc"), big);
        QVERIFY(big.size() > 4000000);
        clear_log();
        QElapsedTimer t;
        t.start();
        start_job(path);
        qint64 click_ms = t.elapsed();
        QCOMPARE(log_entries().mid(0, 2), (QStringList{QString("CNC:open cnc file success.size %1 bytes....").arg(big.size()),
                                                       QString("CNC:get nc file line %1.").arg(lines + 1)}));
        QVERIFY(wait_for_log("CNC:nc process finish,0", 120000));
        qInfo("%d lines, %d bytes: start click %lld ms on the GUI thread, job started and downloaded after %lld ms",
              lines + 1, int(big.size()), click_ms, t.elapsed());
        QByteArray copy = read_file(QString::fromStdString(board()->sd_path("big_N.nc")));
        QByteArray header = QString("(NFL%1)\r\n").arg(lines + 1).toLatin1();
        QVERIFY(copy.startsWith(header) && copy.mid(header.size(), big.size()) == big);
        click(ui()->cnc_reset);
    }

    void real_programs_run_through_the_panel()
    {
        QDir samples(QString(CONSOLE_TEST_SOURCE_DIR) + "/../shared/gcode");
        QStringList programs = samples.entryList({"*.nc", "*.ngc"}, QDir::Files, QDir::Name);
        if (programs.isEmpty()) QSKIP(qPrintable("no sample programs in " + samples.absolutePath()));
        bring_up(0, 5000);
        for (const QString& name : programs) {
            std::ifstream source((samples.filePath(name)).toStdString(), std::ios::binary);
            gcode::check_report check = gcode::check_program(source, gcode::machine_settings::defaults());
            clear_log();
            start_job(samples.filePath(name), "", true);
            QVERIFY2(wait_for_log("CNC:nc process finish,0", 60000), qPrintable(name + ": " + log_text()));
            // The console's count matches the header the library put on the
            // board's copy.
            QString numbered = QFileInfo(name).completeBaseName() + "_N.nc";
            QByteArray copy = read_file(QString::fromStdString(board()->sd_path(numbered.toStdString())));
            QVERIFY2(copy.startsWith("(NFL"), qPrintable(name));
            uint32_t count = copy.mid(4, copy.indexOf(')') - 4).toUInt();
            QVERIFY(log_entries().contains(QString("CNC:get nc file line %1.").arg(count)));
            if (!check.runnable()) {
                // The board stops before the first line it cannot run.
                uint32_t first = uint32_t(check.unsupported.at(0).line);
                QVERIFY2(wait_until([&] { return board()->machine().alarm == 3; }, 60000), qPrintable(name));
                QCOMPARE(board()->machine().run_line, first);
                click(ui()->cnc_reset);
                QVERIFY(wait_until([&] { return board()->machine().alarm == 0; }));
                continue;
            }
            // The board runs to the program's end (M0 waits for 继续).
            QVERIFY2(wait_until(
                         [&] {
                             auto m = board()->machine();
                             if (m.job_active && m.paused) click(ui()->cnc_continue);
                             return !m.job_active && m.run_line >= check.last_motion_line && m.alarm == 0;
                         },
                         60000),
                     qPrintable(name));
        }
    }
};

CONSOLE_TEST_MAIN(nc_job_test)
#include "nc_job_test.moc"
