// The NC job panel against the simulated board running its interpreter:
// jobs run to the end with the bars moving, start lines, the file compare,
// refused starts, a file of real size, real programs, and the machine
// controls, command line and tool words.
#include <QButtonGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSet>
#include <QtGlobal>

#include "console_fixture.h"
#include "nc_job_panel.h"
#include "nc_test_support.h"
#include "task_request_thread.h"
#include "ui_pelk_test.h"

#ifndef CONSOLE_TEST_SOURCE_DIR
#define CONSOLE_TEST_SOURCE_DIR "."
#endif

namespace {

const QByteArray three_lines = "G1 X1 F1000\nG1 Y2\nG1 Z3\n";

}  // namespace

class nc_job_test : public console_fixture {
    Q_OBJECT
private:
    std::unique_ptr<scratch_dir> work;
    frame_counter frames;

    // Board (with the given line rate), window, connection.
    void bring_up(double line_rate = 50.0)
    {
        bsim::config cfg = board_config();
        cfg.line_rate = line_rate;
        frames.reset();
        frames.attach(cfg);
        QString why;
        QVERIFY2(start_board(cfg, &why), qPrintable(why));
        open_window();
        QVERIFY(connect_board());
    }
    // Chooses path through the panel's file choice and starts it.
    void start_job(const QString& path, const QString& line = QString(), bool check = false)
    {
        nc_job_panel::set_file_chooser([path] { return path; });
        QTest::keyClick(ui()->cnc_file_path, Qt::Key_Return);
        QCOMPARE(ui()->cnc_file_path->text(), path);
        ui()->cnc_continue_line->setText(line);
        ui()->cnc_file_check->setChecked(check);
        click(ui()->cnc_start);
    }
    bool wait_job_done(uint32_t last_line, int timeout_ms = 20000)
    {
        return wait_until(
            [&] {
                auto m = board()->machine();
                return !m.job_active && m.run_line == last_line;
            },
            timeout_ms);
    }

private slots:
    void init()
    {
        fixture_init();
        work = std::make_unique<scratch_dir>();
    }
    void cleanup()
    {
        fixture_cleanup();
        nc_job_panel::set_file_chooser({});
        work.reset();
    }

    void a_short_job_runs_to_the_end_with_the_bars_moving()
    {
        REQUIRE_PRIVATE_NET();
        bring_up(2.0);  // slow enough that several polls see it part-way
        QString path = write_file(work->file("part.nc"), three_lines);
        QList<int> run_bar;
        connect(ui()->cnc_update_bar, &QProgressBar::valueChanged, this, [&](int v) { run_bar << v; });
        clear_log();
        start_job(path);
        QVERIFY(wait_for_log("CNC:nc process finish,0"));
        QVERIFY(wait_job_done(3));
        QVERIFY(wait_until([&] { return ui()->cnc_update_bar->value() == 3; }));

        QStringList log = log_entries();
        QString size_line = QString("CNC:open cnc file success.size %1 bytes....").arg(three_lines.size());
        QCOMPARE(log.mid(0, 3), (QStringList{size_line, "CNC:get nc file line 3.",
                                             "CNC:nc process start.3 lines from 0 line and no check"}));
        QVERIFY(log.contains("CNC:nc process finish,0"));
        QCOMPARE(ui()->cnc_update_bar->maximum(), 3);
        QCOMPARE(ui()->cnc_nc_download->maximum(), int(three_lines.size()));
        QCOMPARE(ui()->cnc_nc_download->value(), int(three_lines.size()));  // the numbered copy is longer; the bar stops at the file
        QVERIFY2(std::any_of(run_bar.begin(), run_bar.end(), [](int v) { return v > 0 && v < 3; }),
                 qPrintable(QString("execution bar values seen: %1").arg(run_bar.size())));

        // The whole program reached the board, behind its line-count header,
        // and ran: every line moved the machine.
        QCOMPARE(read_file(QString::fromStdString(board()->sd_path("part_N.nc"))), "(NFL3)\r\n" + three_lines);
        auto m = board()->machine();
        QCOMPARE(m.machine_pos[0], 1.0f);
        QCOMPARE(m.machine_pos[1], 2.0f);
        QCOMPARE(m.machine_pos[2], 3.0f);
        QVERIFY2(!QFile::exists(work->file("part_N.nc")), "the numbered copy is removed after the run");
    }

    void start_line_and_the_compare_by_checksum()
    {
        REQUIRE_PRIVATE_NET();
        bring_up();
        QString path = write_file(work->file("part.nc"), three_lines);
        clear_log();
        start_job(path, "2", true);
        QVERIFY(wait_for_log("CNC:nc process finish,0"));
        QVERIFY(wait_job_done(3));
        QVERIFY(log_entries().contains("CNC:nc process start.3 lines from 2 line and check"));
        auto m = board()->machine();
        QCOMPARE(m.machine_pos[0], 0.0f);  // line 1 skipped
        QCOMPARE(m.machine_pos[1], 2.0f);
        QCOMPARE(m.machine_pos[2], 3.0f);
        int downloads = frames.count(49);
        QVERIFY(downloads > 0);

        // The same file again with the compare: the board's copy matches, so
        // nothing is downloaded, yet the job runs once more.
        clear_log();
        QCOMPARE(board()->machine().run_line, 3u);
        start_job(path, "", true);
        QVERIFY(wait_for_log("CNC:nc process finish,0"));
        QVERIFY(wait_job_done(3));
        QCOMPARE(frames.count(49), downloads);
        QString board_log = read_file(QString::fromStdString(board()->sd_path("cnc_log.txt")));
        QCOMPARE(board_log.count("job part_N.nc from line"), 2);
    }

    void starts_that_are_refused()
    {
        REQUIRE_PRIVATE_NET();
        QString why;
        QVERIFY2(start_board(board_config(), &why), qPrintable(why));
        open_window();
        QString path = write_file(work->file("part.nc"), three_lines);
        ui()->cnc_file_path->setText(path);
        clear_log();
        for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{ui()->cnc_start, ui()->cnc_stop, ui()->cnc_continue,
                                                                           ui()->cnc_reset, ui()->cnc_home})
            click(b);
        window()->cnc_calibration();
        QStringList six;
        for (int i = 0; i < 6; ++i) six << "dev not open.";
        QCOMPARE(log_entries(), six);
        click(ui()->cnc_tool_3);
        QCOMPARE(log_entries().size(), 6);  // a tool change without a connection says nothing

        QVERIFY(connect_board());
        clear_log();
        ui()->cnc_file_path->clear();
        click(ui()->cnc_start);
        QCOMPARE(log_entries(), QStringList{"CNC:need select a nc file."});

        clear_log();
        ui()->cnc_file_path->setText(path);
        ui()->cnc_continue_line->setText("-5");
        click(ui()->cnc_start);
        QTest::qWait(700);
        QVERIFY2(!log_text().contains("CNC:"), qPrintable(log_text()));
        QCOMPARE(ctx().task_thread->queued(), 0);
        QVERIFY(board()->machine().job_name.empty());

        clear_log();
        ui()->cnc_file_path->setText(work->file("missing.nc"));
        ui()->cnc_continue_line->clear();
        click(ui()->cnc_start);
        QCOMPARE(log_entries(), (QStringList{"CNC:open cnc file failed....", "CNC:open nc file fail."}));

        // A path too long for the job record is refused whole, never cut.
        QString deep = work->path();
        while (deep.size() < 320) deep += "/dddddddddddddddddddd";
        QVERIFY(QDir().mkpath(deep));
        QString long_path = write_file(deep + "/part.nc", three_lines);
        clear_log();
        ui()->cnc_file_path->setText(long_path);
        click(ui()->cnc_start);
        QVERIFY(log_entries().contains("CNC:nc file path too long."));
        QCOMPARE(ctx().task_thread->queued(), 0);
        QTest::qWait(300);
        QVERIFY(board()->machine().job_name.empty());
    }

    void a_file_of_real_size_opens_and_downloads_while_the_window_runs()
    {
        REQUIRE_PRIVATE_NET();
        bring_up();
        QByteArray big;
        const int lines = 60000;
        for (int i = 0; i < lines; ++i)
            big += QString::asprintf("G1 X%d.%03d Y%d.%03d F1000 (a comment that makes the line long) ; pad\n",
                                        i % 400, i % 1000, i % 300, (i * 7) % 1000).toLatin1();
        big += "M5";  // a last line without a line feed counts
        QString path = write_file(work->file("big.nc"), big);
        QVERIFY(big.size() > 3 * 1024 * 1024);

        int polls = 0;
        connect(ui()->cnc_nc_download, &QProgressBar::valueChanged, this, [&](int) { ++polls; });
        clear_log();
        QElapsedTimer t;
        t.start();
        start_job(path);
        qint64 start_ms = t.elapsed();
        QCOMPARE(log_entries().mid(0, 2), (QStringList{QString("CNC:open cnc file success.size %1 bytes....").arg(big.size()),
                                                       QString("CNC:get nc file line %1.").arg(lines + 1)}));
        QVERIFY(wait_for_log("CNC:nc process finish,0", 120000));
        qInfo("%d lines, %d bytes: start click %lld ms on the GUI thread, download and start %lld ms, "
              "download bar changes seen %d",
              lines + 1, int(big.size()), start_ms, t.elapsed(), polls);
        QString header = QString("(NFL%1)\r\n").arg(lines + 1);
        QByteArray copy = read_file(QString::fromStdString(board()->sd_path("big_N.nc")));
        QVERIFY(copy.startsWith(header.toLatin1()));
        QVERIFY(copy.mid(header.size(), big.size()) == big);  // chunks come zero-padded to 4 bytes
        QVERIFY(board()->machine().download_bytes >= uint32_t(big.size() + header.size()));
        QVERIFY(board()->machine().job_active);
        click(ui()->cnc_reset);
        QVERIFY(wait_until([&] { return !board()->machine().job_active; }));
    }

    void real_programs_run_through_the_panel()
    {
        REQUIRE_PRIVATE_NET();
        QDir samples(QString(CONSOLE_TEST_SOURCE_DIR) + "/../shared/gcode");
        QStringList programs = samples.entryList({"*.nc", "*.ngc"}, QDir::Files, QDir::Name);
        if (programs.isEmpty()) QSKIP(qPrintable("no sample programs in " + samples.absolutePath()));
        bring_up(400.0);
        for (const QString& name : programs) {
            clear_log();
            start_job(samples.filePath(name), "", true);
            QVERIFY2(wait_for_log("CNC:nc process finish,0", 60000), qPrintable(name + ": " + log_text()));
            // The count the console showed matches the header the library put
            // on the board's copy, and the board ran every line.
            QString base = QFileInfo(name).completeBaseName();
            QByteArray copy = read_file(QString::fromStdString(board()->sd_path((base + "_N.nc").toStdString())));
            QVERIFY2(copy.startsWith("(NFL"), qPrintable(name));
            uint32_t header_count = uint32_t(copy.mid(4, copy.indexOf(')') - 4).toUInt());
            QVERIFY(log_entries().contains(QString("CNC:get nc file line %1.").arg(header_count)));
            QVERIFY2(wait_job_done(header_count, 60000), qPrintable(name));
        }
    }

    void machine_controls_command_line_and_tool_words()
    {
        REQUIRE_PRIVATE_NET();
        bring_up(5.0);
        QString path = write_file(work->file("slow.nc"), QByteArray("G1 X1\n").repeated(50));
        start_job(path);
        QVERIFY(wait_until([&] { return board()->machine().run_line >= 1; }));
        clear_log();
        click(ui()->cnc_stop);
        QVERIFY(wait_until([&] { return board()->machine().paused; }));
        click(ui()->cnc_continue);
        QVERIFY(wait_until([&] { return !board()->machine().paused; }));
        click(ui()->cnc_reset);
        QVERIFY(wait_until([&] { return board()->machine().resume_pending; }));
        click(ui()->cnc_home);
        QCOMPARE(log_entries().mid(0, 8), (QStringList{"CNC:stop.", "success.", "CNC:continue.", "success.",
                                                       "CNC:reset.", "success.", "CNC:home.", "success."}));

        clear_log();
        ui()->cnc_input->setText("G1 Z-1.5");
        QTest::keyClick(ui()->cnc_input, Qt::Key_Return);
        QCOMPARE(ui()->cnc_input->text(), QString());
        QCOMPARE(log_entries().mid(0, 2), (QStringList{"CNC:G1 Z-1.5", "success."}));
        QVERIFY(wait_until([&] { return board()->machine().machine_pos[2] == -1.5f; }));
        QTest::keyClick(ui()->cnc_input, Qt::Key_Up);
        QCOMPARE(ui()->cnc_input->text(), QString("G1 Z-1.5"));

        // T, Q and T&Q words; tool 5 with T&Q, then tool 1 as T and tool 2 as Q.
        clear_log();
        click(ui()->cnc_tool_tq);
        click(ui()->cnc_tool_5);
        click(ui()->cnc_tool_t);
        click(ui()->cnc_tool_1);
        click(ui()->cnc_tool_q);
        click(ui()->cnc_tool_2);
        QStringList words;
        for (const QString& e : log_entries())
            if (e.startsWith("CNC:tool chnage:")) words << e.mid(16);
        QCOMPARE(words, (QStringList{"T5 Q5 m6", "T1 m6", "Q2 m6"}));
        QCOMPARE(board()->machine().tools, (std::array<uint8_t, 2>{1, 2}));

        // Calibration and the end report of a parser job.
        clear_log();
        window()->cnc_calibration();
        QCOMPARE(log_entries(), (QStringList{"CNC:calib process.", "success."}));
        QCOMPARE(board()->peripheral_state().calibrations, 1u);
        clear_log();
        window()->cnc_parser_stop(0, -1);
        QCOMPARE(log_entries(), QStringList{"failed."});
    }
};

CONSOLE_TEST_MAIN(nc_job_test)
#include "nc_job_test.moc"
