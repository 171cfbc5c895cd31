// The machine state display against the simulated board: the display
// mapping, probe results and the result text, jogging, the alarm box, the
// resume offer after a reconnect, and a board that hangs up.
#include <QButtonGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <cstring>

#include "machine_state_panel.h"
#include "nc_fixture.h"

namespace {

std::vector<uint8_t> le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

const QByteArray csv_header = "PRBX,PRBY,PRBZ,PRBA,PRBB,PRBC,PRBU,PRBV,PRBW\n";
const QByteArray probe_line = "1.500000,0.000000,-2.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000\n";
constexpr int cancel = 0x400000;  // QMessageBox::Cancel

}  // namespace

class machine_state_test : public nc_fixture {
    Q_OBJECT
private:
    int open_boxes = 0, deepest_box = 0;  // boxes on screen now, and at most

    int boxes_of(box_kind kind)
    {
        return int(std::count_if(boxes.begin(), boxes.end(), [&](const shown_box& b) { return b.kind == kind; }));
    }
    // Boxes are held open for hold_ms with the event loop running, as a
    // technician reading them would, so the state timer keeps firing.
    void hold_boxes_open(int hold_ms)
    {
        set_box_responder([this, hold_ms](box_kind kind, const QString& text, const QString& informative) {
            boxes.append({kind, text, informative});
            deepest_box = std::max(deepest_box, ++open_boxes);
            QTest::qWait(hold_ms);
            --open_boxes;
            return box_answer;
        });
    }
    // A 400-line job interrupted past line 150 (by a reset, or by the given
    // command line), then the connection closed and opened again. Returns the
    // line of the interruption, 0 on failure.
    uint32_t interrupted_job_and_reconnect(const QString& interrupt_with = QString())
    {
        bring_up(100.0);
        start_job(write_file(work_file("job.nc"), QByteArray("G1 X0.01\nG1 X0\n").repeated(200)));
        if (!wait_until([&] { return board()->machine().run_line >= 150; })) return 0;
        if (interrupt_with.isEmpty())
            click(ui()->cnc_reset);
        else
            command(interrupt_with);
        if (!wait_until([&] { return board()->machine().resume_pending; })) return 0;
        if (!interrupt_with.isEmpty() && !wait_until([&] { return boxes_of(box_kind::info) == 1; })) return 0;
        uint32_t line = board()->machine().run_line;
        click(ui()->btn_eth_connect);  // close
        clear_log();
        return !device_open && connect_board() ? line : 0;
    }

private slots:
    void init()
    {
        nc_init();
        open_boxes = deepest_box = 0;
    }
    void cleanup() { nc_cleanup(); }

    void every_status_field_reaches_its_control()
    {
        bring_up();
        command("G1 X12.5 Y-3 Z7 A0.1234567");
        command("G92 X2");
        command("T1 Q2 m6");
        board()->override_status(4, le32(1508));             // parse line
        board()->override_status(12, le32(1500));            // run line
        board()->override_status(20, le32(12000));           // spindle 0
        board()->override_status(24, le32(0x10000 + 300));   // spindle 1: the low 16 bits count
        board()->override_status(36, {1, 0, 0, 0});          // coolant
        board()->override_status(44, le32(0x0003));          // parser and NC program
        board()->override_status(264, {5, 0});               // limits
        board()->override_status(268, {0, 1, 1, 0});         // door, air, dust, drawer
        QVERIFY(wait_for_text(ui()->cnc_line_number, "1500"));
        auto* u = ui();
        QStringList texts;
        for (QLineEdit* e : {u->cnc_axis_x_mpos, u->cnc_axis_x_wpos, u->cnc_axis_y_mpos, u->cnc_axis_z_wpos,
                             u->cnc_axis_a_mpos, u->cnc_axis_w_mpos, u->cnc_line_parser, u->cnc_line_limit,
                             u->cnc_state_tool0, u->cnc_state_tool1, u->cnc_state_spd0, u->cnc_state_spd1})
            texts << e->text();
        QCOMPARE(texts, (QStringList{"12.5", "2", "-3", "7", "0.123457", "0", "1508", "101", "1", "2", "12000", "300"}));
        QList<bool> ticks;
        for (QCheckBox* b : {u->cnc_state_door, u->cnc_state_pressure, u->cnc_state_dust, u->cnc_state_drawer,
                             u->cnc_state_cool0, u->cnc_state_cool1, u->cnc_run_state_idle})
            ticks << b->isChecked();
        QCOMPARE(ticks, (QList<bool>{true, false, true, true, true, false, false}));
        QList<bool> run_boxes;
        for (int bit = 0; bit < 11; ++bit) run_boxes << window()->run_state_group()->button(bit)->isChecked();
        QCOMPARE(run_boxes, (QList<bool>{true, true, false, false, false, false, false, false, false, false, false}));

        // Idle, no limits; a download count beyond the file stops at its size.
        window()->machine_state_part().set_program_size(100);
        u->cnc_nc_download->setRange(0, 100);
        board()->clear_status_overrides();
        board()->override_status(256, le32(5000));
        QVERIFY(wait_for_text(ui()->cnc_line_number, "0"));
        QCOMPARE(u->cnc_line_limit->text(), QString("0"));
        for (QAbstractButton* b : window()->run_state_group()->buttons()) QVERIFY(!b->isChecked());
        QVERIFY(u->cnc_run_state_idle->isChecked());
        QVERIFY(wait_until([&] { return u->cnc_nc_download->value() == 100; }));
    }

    void probe_results_and_the_result_text()
    {
        bring_up();
        command("G38.2 X1.5 Z-2");
        QVERIFY(wait_until([&] { return QFile::exists("results.csv"); }));
        QCOMPARE(read_file("results.csv"), csv_header + probe_line);
        QVERIFY(log_text().contains("get results.\n{"));
        clear_log();
        command("G1 X0");  // a result without "PRB": logged, nothing written
        QVERIFY(wait_for_log("get results."));
        QCOMPARE(read_file("results.csv"), csv_header + probe_line);

        // A long result text, then a short one: the buffer holds exactly the
        // short one, terminated, with nothing of the longer text behind it.
        command("G0 X1" + QString(1000, ' '));
        QVERIFY(wait_until([&] { return window()->machine_state_part().results().size() > 1000; }));
        command("G1 X2");
        QVERIFY(wait_until([&] { return window()->machine_state_part().results().contains("G1 X2"); }));
        QString text = QString::fromUtf8(window()->machine_state_part().results());
        QVERIFY2(text.startsWith('{') && text.endsWith('}') && text.size() < 200, qPrintable(text));
        clear_log();
        window()->cnc_parser_stop(0, 0);
        QCOMPARE(log_entries(), (QStringList{"success", text}));

        // The line the display describes, for a text of exactly that shape;
        // other texts write nothing.
        QFile::remove("results.csv");
        for (const char* t : {R"({"PRB":{"PRBX":1.5,"PRBZ":-2}})", "not json", R"({"PRB":3})", "[1,2]"})
            machine_state_panel::store_probe_results(t);
        QCOMPARE(read_file("results.csv"), csv_header + probe_line);
    }

    void jog_buttons_move_one_axis()
    {
        bring_up();
        clear_log();
        ui()->cnc_axis_travel_length->setText("2.7");
        click(ui()->cnc_axis_y_sub);
        ui()->cnc_axis_travel_length->setText("1e30");  // far beyond any travel, still a defined move
        click(ui()->cnc_axis_x_add);
        QCOMPARE(log_entries().mid(0, 3), (QStringList{"G1 y-2 F1000", "success", "G1 x1000000000 F1000"}));
        QCOMPARE(board()->machine().machine_pos[1], -2.0f);
    }

    void an_alarm_shows_one_box_while_it_stands()
    {
        bring_up();
        hold_boxes_open(1500);  // three polls fall due while it is open
        command("G1 X2000");    // beyond the travel
        QVERIFY(wait_until([&] { return boxes_of(box_kind::info) == 1; }));
        QTest::qWait(2000);
        QCOMPARE(boxes_of(box_kind::info), 1);
        QCOMPARE(boxes[0].text, QString("alarm code:"));
        QCOMPARE(boxes[0].informative, QString("2"));
        QCOMPARE(ui()->cnc_line_limit->text(), QString("1"));

        // Cleared, then raised again: a new alarm, a new box.
        click(ui()->cnc_reset);
        QVERIFY(wait_for_text(ui()->cnc_line_limit, "0"));
        command("G1 Y-5000");
        QVERIFY(wait_until([&] { return boxes_of(box_kind::info) == 2; }));
        QCOMPARE(deepest_box, 1);
    }

    void resume_offer_after_a_reset_and_reconnect_queues_the_job()
    {
        int starts_at_question = -1;
        set_box_responder([&](box_kind kind, const QString& text, const QString& informative) {
            boxes.append({kind, text, informative});
            // Nothing has moved the machine before the answer.
            starts_at_question = board()->machine().job_active ? -2 : board_job_starts();
            return box_answer;
        });
        uint32_t line = interrupted_job_and_reconnect();
        QVERIFY(line >= 150);
        int downloads = frame_count(49);
        QVERIFY(wait_for_log("CNC:nc process finish,0"));
        QCOMPARE(boxes_of(box_kind::confirm), 1);
        QCOMPARE(boxes[0].text, QString::fromUtf8("是否继续加工?"));
        QCOMPARE(boxes[0].informative, QString("NC  :job.nc\nLine:%1\n").arg(line));
        QCOMPARE(starts_at_question, 1);

        int from = int(line) - 100;
        QStringList log = log_entries();
        QVERIFY2(log.contains(QString("CNC:cnc start auto nc job.nc from %1 lines.").arg(from)), qPrintable(log.join('\n')));
        QVERIFY(log.contains(QString("CNC:nc process start.400 lines from %1 line and check").arg(from)));
        QVERIFY(wait_until([&] { return board_job_starts() == 2; }));
        QVERIFY(board_log().contains(QString("job job_N.nc from line %1").arg(from)));
        QCOMPARE(frame_count(49), downloads);  // the board's copy matched

        // Later idle polls on the same connection do not ask again.
        QVERIFY(wait_until([&] { return !board()->machine().job_active; }, 20000));
        QTest::qWait(1200);
        QCOMPARE(boxes_of(box_kind::confirm), 1);
    }

    void a_declined_resume_sends_nothing_and_is_asked_once()
    {
        box_answer = cancel;
        hold_boxes_open(1600);  // the question stays open across several polls
        uint32_t line = interrupted_job_and_reconnect();
        QVERIFY(line >= 150);
        QVERIFY(wait_until([&] { return boxes_of(box_kind::confirm) == 1; }));
        // Polls go on under the open question: five or more come and go.
        int polls = frame_count(48);
        QVERIFY(wait_until([&] { return frame_count(48) > polls + 10; }));
        QCOMPARE(boxes_of(box_kind::confirm), 1);
        QCOMPARE(board_job_starts(), 1);
        auto m = board()->machine();
        QVERIFY(!m.job_active && m.resume_pending && m.run_line == line);
        QVERIFY2(!log_text().contains("CNC:"), qPrintable(log_text()));
    }

    void an_alarm_and_the_resume_question_come_one_after_the_other()
    {
        box_answer = cancel;
        hold_boxes_open(1200);
        QVERIFY(interrupted_job_and_reconnect("G1 X2000") >= 150);  // the alarm interrupts the job
        QVERIFY(wait_until([&] { return boxes_of(box_kind::confirm) == 1; }));
        QTest::qWait(1500);
        QCOMPARE(boxes.size(), 3);  // the alarm to each connection, then the question
        QCOMPARE(boxes[1].kind, box_kind::info);
        QCOMPARE(boxes[2].kind, box_kind::confirm);
        QCOMPARE(deepest_box, 1);
    }

    void poll_cost_and_a_board_that_hangs_up_during_a_poll()
    {
        bring_up(5.0);
        start_job(write_file(work_file("slow.nc"), QByteArray("G1 X1\nG1 X2\n").repeated(100)));
        QVERIFY(wait_until([&] { return board()->machine().run_line >= 2; }));
        // How long one poll keeps the GUI thread busy while a job runs.
        const int polls = 40;
        qint64 worst = 0, total = 0;
        for (int i = 0; i < polls; ++i) {
            QElapsedTimer t;
            t.start();
            window()->cnc_timer_update_state();
            total += t.nsecsElapsed();
            worst = std::max(worst, t.nsecsElapsed());
            QTest::qWait(20);
        }
        qInfo("one state poll on the GUI thread: mean %.3f ms, worst %.3f ms over %d polls", total / 1e6 / polls,
              worst / 1e6, polls);

        // The board hangs up on the next poll: reported, the link closed, the
        // window goes on working.
        clear_log();
        board()->arm_fault(bsim::fault_kind::close_now, 48);
        QVERIFY(wait_for_log("disconnect"));
        QVERIFY(wait_until([] { return !device_open; }));
        QVERIFY(wait_until([&] { return ui()->cbox_eth_dev->count() == 1; }));
        QVERIFY(connect_board());
        // The job still runs on the board and owns the machine: a move waits for the reset.
        click(ui()->cnc_reset);
        QVERIFY(wait_until([&] { return !board()->machine().job_active; }));
        command("G1 Y3");
        QVERIFY(wait_for_text(ui()->cnc_axis_y_mpos, "3"));
    }
};

CONSOLE_TEST_MAIN(machine_state_test)
#include "machine_state_test.moc"
