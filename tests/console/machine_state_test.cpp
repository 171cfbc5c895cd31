// The machine state display against the simulated board: the display
// mapping, probe results and the result text, jogging, the alarm box, the
// resume offer after a reconnect, and a poll whose board hangs up.
#include <QButtonGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <cstring>

#include "console_fixture.h"
#include "machine_state_panel.h"
#include "nc_job_panel.h"
#include "nc_test_support.h"
#include "ui_pelk_test.h"
#include "vesk.h"

namespace {

// Links with reply deadlines give up on a silent board; without them an
// exchange waits for its reply for good.
template <typename L>
constexpr bool has_reply_deadlines = requires(L& l, unsigned char* d, unsigned short* n) {
    l.eth_send_cmd(0, 0, 0u, d, static_cast<unsigned short>(0), n, 0u);
};

std::vector<uint8_t> le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
std::vector<uint8_t> le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

const char* const csv_header = "PRBX,PRBY,PRBZ,PRBA,PRBB,PRBC,PRBU,PRBV,PRBW\n";

}  // namespace

class machine_state_test : public console_fixture {
    Q_OBJECT
private:
    std::unique_ptr<scratch_dir> work;
    frame_counter frames;

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
    void command(const QString& line)
    {
        ui()->cnc_input->setText(line);
        QTest::keyClick(ui()->cnc_input, Qt::Key_Return);
    }
    bool wait_for_text(QLineEdit* edit, const QString& text)
    {
        return wait_until([&] { return edit->text() == text; });
    }
    int boxes_of(box_kind kind)
    {
        return int(std::count_if(boxes.begin(), boxes.end(), [&](const shown_box& b) { return b.kind == kind; }));
    }
    // Boxes recorded as the fixture does, but held open for hold_ms with the
    // event loop running (so the state timer keeps firing), as a technician
    // reading it would.
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
    int open_boxes = 0, deepest_box = 0;  // boxes on screen now, and at most
    int board_job_starts()
    {
        return QString(read_file(QString::fromStdString(board()->sd_path("cnc_log.txt")))).count(QRegExp("job \\S+ from line"));
    }
    // A 400-line job reset past line 150, then the connection closed and
    // opened again. Returns the line the job was interrupted at.
    uint32_t interrupted_job_and_reconnect(const std::function<void()>& before_reconnect = {},
                                           const QString& interrupt_with = QString())
    {
        bring_up(100.0);
        QString path = write_file(work->file("job.nc"), QByteArray("G1 X0.01\nG1 X0\n").repeated(200));
        nc_job_panel::set_file_chooser([path] { return path; });
        QTest::keyClick(ui()->cnc_file_path, Qt::Key_Return);
        click(ui()->cnc_start);
        if (!wait_until([&] { return board()->machine().run_line >= 150; })) return 0;
        if (interrupt_with.isEmpty())
            click(ui()->cnc_reset);
        else
            command(interrupt_with);
        if (!wait_until([&] { return board()->machine().resume_pending; })) return 0;
        if (!interrupt_with.isEmpty() && !wait_until([&] { return boxes_of(box_kind::info) == 1; })) return 0;
        uint32_t line = board()->machine().run_line;
        click(ui()->btn_eth_connect);  // close
        if (device_open) return 0;
        if (before_reconnect) before_reconnect();
        clear_log();
        if (!connect_board()) return 0;
        return line;
    }

private slots:
    void init()
    {
        fixture_init();
        open_boxes = deepest_box = 0;
        work = std::make_unique<scratch_dir>();
    }
    void cleanup()
    {
        fixture_cleanup();
        nc_job_panel::set_file_chooser({});
        work.reset();
    }

    void every_status_field_reaches_its_control()
    {
        REQUIRE_PRIVATE_NET();
        bring_up();
        command("G1 X12.5 Y-3 Z7 A0.1234567");
        command("G92 X2");
        command("T1 Q2 m6");
        board()->override_status(4, le32(1508));         // parse line
        board()->override_status(12, le32(1500));        // run line
        board()->override_status(20, le32(12000));       // spindle 0
        board()->override_status(24, le32(0x10000 + 300));  // spindle 1: the low 16 bits count
        board()->override_status(36, {1, 0, 0, 0});      // coolant
        board()->override_status(44, le32(0x0003));      // parser and NC program
        board()->override_status(264, le16(5));          // limits
        board()->override_status(268, {0, 1, 1, 0});     // door, air, dust, drawer
        QVERIFY(wait_for_text(ui()->cnc_line_number, "1500"));

        auto* u = ui();
        QCOMPARE(u->cnc_axis_x_mpos->text(), QString("12.5"));
        QCOMPARE(u->cnc_axis_x_wpos->text(), QString("2"));
        QCOMPARE(u->cnc_axis_y_mpos->text(), QString("-3"));
        QCOMPARE(u->cnc_axis_z_wpos->text(), QString("7"));
        QCOMPARE(u->cnc_axis_a_mpos->text(), QString("0.123457"));  // six significant digits
        QCOMPARE(u->cnc_axis_w_mpos->text(), QString("0"));
        QCOMPARE(u->cnc_line_parser->text(), QString("1508"));
        QCOMPARE(u->cnc_line_limit->text(), QString("101"));
        QCOMPARE(u->cnc_state_tool0->text(), QString("1"));  // tool word 0x0201
        QCOMPARE(u->cnc_state_tool1->text(), QString("2"));
        QCOMPARE(u->cnc_state_spd0->text(), QString("12000"));
        QCOMPARE(u->cnc_state_spd1->text(), QString("300"));
        QVERIFY(u->cnc_state_door->isChecked());
        QVERIFY(!u->cnc_state_pressure->isChecked());
        QVERIFY(u->cnc_state_dust->isChecked());
        QVERIFY(u->cnc_state_drawer->isChecked());
        QVERIFY(u->cnc_state_cool0->isChecked());
        QVERIFY(!u->cnc_state_cool1->isChecked());
        QList<bool> run_boxes;
        for (QAbstractButton* b : ctx().grp_run_state->buttons()) run_boxes << b->isChecked();
        QCOMPARE(run_boxes, (QList<bool>{true, true, false, false, false, false, false, false, false, false, false}));
        QVERIFY(!u->cnc_run_state_idle->isChecked());

        // Idle, no limits; a download count beyond the file stops at its size.
        ctx().nc_file_size = 100;
        u->cnc_nc_download->setRange(0, 100);
        board()->clear_status_overrides();
        board()->override_status(256, le32(5000));
        QVERIFY(wait_for_text(ui()->cnc_line_number, "0"));
        QCOMPARE(u->cnc_line_limit->text(), QString("0"));
        for (QAbstractButton* b : ctx().grp_run_state->buttons()) QVERIFY(!b->isChecked());
        QVERIFY(u->cnc_run_state_idle->isChecked());
        QVERIFY(wait_until([&] { return u->cnc_nc_download->value() == 100; }));
    }

    void probe_results_and_the_result_text()
    {
        REQUIRE_PRIVATE_NET();
        bring_up();
        command("G38.2 X1.5 Z-2");
        QVERIFY(wait_until([&] { return QFile::exists("results.csv"); }));
        const QByteArray probe_line = "1.500000,0.000000,-2.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000\n";
        QCOMPARE(read_file("results.csv"), csv_header + probe_line);
        QVERIFY(log_text().contains("get results.\n{"));

        // A result without "PRB" is logged and writes nothing.
        clear_log();
        command("G1 X0");
        QVERIFY(wait_for_log("get results."));
        QCOMPARE(read_file("results.csv"), csv_header + probe_line);

        // A long result text, then a short one: the buffer holds exactly the
        // short one, terminated, with nothing of the longer text behind it.
        command("G0 X1" + QString(1000, ' '));
        QVERIFY(wait_until([&] { return std::strlen(ctx().results_buffer) > 1000; }));
        command("G1 X2");
        QVERIFY(wait_until([&] { return std::strstr(ctx().results_buffer, "G1 X2") != nullptr; }));
        QString text = QString::fromUtf8(ctx().results_buffer);
        QVERIFY2(text.startsWith('{') && text.endsWith('}') && text.size() < 200, qPrintable(text));
        clear_log();
        window()->cnc_parser_stop(0, 0);
        QCOMPARE(log_entries(), (QStringList{"success", text}));

        // The line as the display describes it, for a text of exactly that shape.
        QFile::remove("results.csv");
        machine_state_panel::store_probe_results(R"({"PRB":{"PRBX":1.5,"PRBZ":-2}})");
        machine_state_panel::store_probe_results("not json");
        machine_state_panel::store_probe_results(R"({"PRB":3,"ok":true})");
        machine_state_panel::store_probe_results(R"([1,2])");
        QCOMPARE(read_file("results.csv"), csv_header + probe_line);
    }

    void jog_buttons_move_one_axis()
    {
        REQUIRE_PRIVATE_NET();
        QString why;
        QVERIFY2(start_board(board_config(), &why), qPrintable(why));
        open_window();
        clear_log();
        click(ui()->cnc_axis_x_add);  // no connection: nothing
        QCOMPARE(log_entries(), QStringList());
        QVERIFY(connect_board());

        clear_log();
        ui()->cnc_axis_travel_length->setText("2.7");
        click(ui()->cnc_axis_y_sub);
        QCOMPARE(log_entries().mid(0, 2), (QStringList{"G1 y-2 F1000", "success"}));
        QVERIFY(wait_until([&] { return board()->machine().machine_pos[1] == -2.0f; }));
        clear_log();
        ui()->cnc_axis_travel_length->setText("4");
        click(ui()->cnc_axis_w_add);
        ui()->cnc_axis_travel_length->setText("1e30");  // far beyond any travel, still a defined move
        click(ui()->cnc_axis_x_add);
        QStringList log = log_entries();
        QCOMPARE(log.mid(0, 2), (QStringList{"G1 w4 F1000", "success"}));
        QCOMPARE(log.value(2), QString("G1 x1000000000 F1000"));
        QVERIFY(wait_until([&] { return board()->machine().machine_pos[8] == 4.0f; }));
    }

    void an_alarm_shows_one_box_while_it_stands()
    {
        REQUIRE_PRIVATE_NET();
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
        QCOMPARE(ui()->cnc_line_limit->text(), QString("10"));
        QCOMPARE(deepest_box, 1);
    }

    void an_alarm_and_the_resume_question_come_one_after_the_other()
    {
        REQUIRE_PRIVATE_NET();
        box_answer = 0x400000;  // Cancel
        hold_boxes_open(1200);
        // The job is interrupted by an alarm rather than a reset; the new
        // connection sees the standing alarm and the resumable job.
        uint32_t line = interrupted_job_and_reconnect([] {}, "G1 X2000");
        QVERIFY(line >= 150);
        QVERIFY(wait_until([&] { return boxes_of(box_kind::confirm) == 1; }));
        QTest::qWait(1500);
        QCOMPARE(boxes_of(box_kind::info), 2);  // once to each connection
        QCOMPARE(boxes_of(box_kind::confirm), 1);
        QCOMPARE(boxes[1].kind, box_kind::info);  // the alarm first, then the question
        QCOMPARE(boxes.last().kind, box_kind::confirm);
        QCOMPARE(deepest_box, 1);
        QCOMPARE(board_job_starts(), 1);
    }

    void resume_offer_after_a_reset_and_reconnect_queues_the_job()
    {
        REQUIRE_PRIVATE_NET();
        int starts_at_question = -1;
        bool active_at_question = true;
        set_box_responder([&](box_kind kind, const QString& text, const QString& informative) {
            boxes.append({kind, text, informative});
            // Nothing has moved the machine before the answer.
            starts_at_question = board_job_starts();
            active_at_question = board()->machine().job_active;
            return box_answer;
        });
        uint32_t line = interrupted_job_and_reconnect();
        QVERIFY(line >= 150);
        int downloads = frames.count(49);
        QVERIFY(wait_until([&] { return boxes_of(box_kind::confirm) == 1; }));
        QCOMPARE(boxes[0].text, QString::fromUtf8("是否继续加工?"));
        QCOMPARE(boxes[0].informative, QString("NC  :job.nc\nLine:%1\n").arg(line));
        QCOMPARE(starts_at_question, 1);
        QVERIFY(!active_at_question);

        int from = int(line) - 100;
        QVERIFY(wait_for_log("CNC:nc process finish,0"));
        QStringList log = log_entries();
        QVERIFY2(log.contains(QString("CNC:cnc start auto nc job.nc from %1 lines.").arg(from)), qPrintable(log.join('\n')));
        QVERIFY(log.contains(QString("CNC:nc process start.400 lines from %1 line and check").arg(from)));
        QVERIFY(wait_until([&] { return board_job_starts() == 2; }));
        QVERIFY(QString(read_file(QString::fromStdString(board()->sd_path("cnc_log.txt"))))
                    .contains(QString("job job_N.nc from line %1").arg(from)));
        QCOMPARE(frames.count(49), downloads);  // the board's copy matched

        // Later idle polls on the same connection do not ask again.
        QVERIFY(wait_until([&] { return !board()->machine().job_active; }, 20000));
        QTest::qWait(1200);
        QCOMPARE(boxes_of(box_kind::confirm), 1);
    }

    void a_declined_resume_sends_nothing_and_is_asked_once()
    {
        REQUIRE_PRIVATE_NET();
        box_answer = 0x400000;  // Cancel
        hold_boxes_open(1600);  // the question stays open across several polls
        int frames_before_reconnect = 0;
        uint32_t line = interrupted_job_and_reconnect([&] { frames_before_reconnect = frames.count(48); });
        QVERIFY(line >= 150);
        QVERIFY(wait_until([&] { return boxes_of(box_kind::confirm) == 1; }));
        QTest::qWait(2500);
        QCOMPARE(boxes_of(box_kind::confirm), 1);
        QCOMPARE(board_job_starts(), 1);
        auto m = board()->machine();
        QVERIFY(!m.job_active);
        QVERIFY(m.resume_pending);
        QCOMPARE(m.run_line, line);
        QVERIFY2(!log_text().contains("CNC:"), qPrintable(log_text()));
        QVERIFY(frames.count(48) > frames_before_reconnect);  // the polls went on meanwhile
        QCOMPARE(deepest_box, 1);
    }

    void poll_cost_and_a_board_that_hangs_up_during_a_poll()
    {
        REQUIRE_PRIVATE_NET();
        bring_up(5.0);
        QString path = write_file(work->file("slow.nc"), QByteArray("G1 X1\nG1 X2\n").repeated(100));
        nc_job_panel::set_file_chooser([path] { return path; });
        QTest::keyClick(ui()->cnc_file_path, Qt::Key_Return);
        click(ui()->cnc_start);
        QVERIFY(wait_until([&] { return board()->machine().run_line >= 2; }));

        // How long one poll keeps the GUI thread busy while a job runs.
        const int polls = 40;
        qint64 worst = 0, total = 0;
        for (int i = 0; i < polls; ++i) {
            QElapsedTimer t;
            t.start();
            window()->cnc_timer_update_state();
            qint64 ns = t.nsecsElapsed();
            total += ns;
            worst = std::max(worst, ns);
            QTest::qWait(20);
        }
        qInfo("one state poll on the GUI thread: mean %.3f ms, worst %.3f ms over %d polls", total / 1e6 / polls,
              worst / 1e6, polls);

        // The board hangs up on the next poll: reported, the link closed, and
        // the window goes on working.
        clear_log();
        board()->arm_fault(bsim::fault_kind::close_now, 48);
        QVERIFY(wait_for_log("disconnect"));
        QVERIFY(wait_until([] { return !device_open; }));
        QVERIFY(wait_until([&] { return ui()->cbox_eth_dev->count() == 1; }));
        QVERIFY(connect_board());
        QString before = ui()->cnc_axis_y_mpos->text();
        ui()->cnc_axis_travel_length->setText("3");
        click(ui()->cnc_axis_y_add);
        QVERIFY2(wait_for_text(ui()->cnc_axis_y_mpos, "3"), qPrintable(before));
    }

    void a_board_that_stops_answering_is_reported_within_the_short_deadline()
    {
        REQUIRE_PRIVATE_NET();
        if constexpr (!has_reply_deadlines<vesk>) {
            QSKIP("this link waits for every reply without a deadline");
        } else {
            bring_up();
            clear_log();
            bsim::faults silent;
            silent.mute_cmds = {48};
            QElapsedTimer t;
            t.start();
            board()->set_faults(silent);
            QVERIFY(wait_for_log("disconnect", 20000));
            qInfo("a silent board reported and its link closed %lld ms after it fell silent", t.elapsed());
            QVERIFY(wait_until([] { return !device_open; }));
            board()->set_faults(bsim::faults{});
            QVERIFY(wait_until([&] { return ui()->cbox_eth_dev->count() == 1; }));
            QVERIFY(connect_board());
            command("G1 X3");
            QVERIFY(wait_for_text(ui()->cnc_axis_x_mpos, "3"));
        }
    }
};

CONSOLE_TEST_MAIN(machine_state_test)
#include "machine_state_test.moc"
