// The connection group against the simulated board over the real Ethernet
// link in a private network: discovery, list and static connects with the
// identity lines, refused products, the user's close, a board that hangs up
// or falls silent, and the end of the program with a connection open.
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>

#include "nc_fixture.h"
#include "ui_pelk_test.h"
#include "vesk.h"

namespace {

bsim::config board_with(uint8_t product, uint8_t variant, uint8_t major, uint8_t minor)
{
    bsim::config c = console_fixture::board_config();
    c.set_product = c.set_variant = c.set_major = c.set_minor = true;
    c.id.product = product;
    c.id.variant = variant;
    c.id.fw_major = major;
    c.id.fw_minor = minor;
    return c;
}

// Links with reply deadlines give up on a silent board; without them an
// exchange waits for its reply for good.
template <typename L>
constexpr bool has_reply_deadlines = requires(L& l, unsigned char* d, unsigned short* n) {
    l.eth_send_cmd(0, 0, 0u, d, static_cast<unsigned short>(0), n, 0u);
};

}  // namespace

class connection_test : public nc_fixture {
    Q_OBJECT
private slots:
    void init() { nc_init(); }
    void cleanup() { nc_cleanup(); }

    void connect_by_list_entry_logs_the_board_identity()
    {
        REQUIRE_PRIVATE_NET();
        bsim::config c = board_with(1, 1, 2, 10);
        c.set_drive = true;
        c.id.drive_version = 0x00030004;
        c.set_board_id = true;
        c.id.board_id = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb};
        QVERIFY(start_board(c));
        open_window();
        clear_log();

        QVERIFY(connect_board());
        QCOMPARE(log_entries(), (QStringList{"open device SIM-BOARD-01...", "success.",
                                             "M92(T15) firmware version:[2.10].", "dc  firmware version:[3.4].",
                                             "machine hal id:[00112233445566778899aabb]."}));
        QCOMPARE(ui()->btn_eth_connect->text(), QString("关闭"));
        QVERIFY(!ui()->btn_eth_poll->isEnabled());
        QVERIFY(!ui()->cbox_eth_dev->isEnabled());
        QVERIFY(!window()->connection_part().mcu_erased());
        QVERIFY(window()->connection_part().connections() > 0);
    }

    void identity_lines_data()
    {
        QTest::addColumn<int>("product");
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("erased");
        QTest::newRow("erased M81") << 0 << 0 << 0 << 5 << "M81(T2_T4) firmware version:[0.5]." << true;
        QTest::newRow("R27 T16") << 2 << 2 << 1 << 0 << "R27(T16) firmware version:[1.0]." << false;
        // Only the low seven bits of the variant byte name the variant.
        QTest::newRow("high bit") << 3 << 0x81 << 3 << 1 << "R28(T15) firmware version:[3.1]." << false;
        QTest::newRow("unknown variant") << 3 << 3 << 1 << 2 << "R28(unknown(3)) firmware version:[1.2]." << false;
    }

    // Static mode: no list entry needed and no "open device" line.
    void identity_lines()
    {
        REQUIRE_PRIVATE_NET();
        QFETCH(int, product);
        QFETCH(int, variant);
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(QString, line);
        QFETCH(bool, erased);
        QVERIFY(start_board(board_with(product, variant, major, minor)));
        open_window();
        click(ui()->cbox_eth_static);
        QVERIFY(window()->connection_part().static_mode());
        QVERIFY(!ui()->btn_eth_poll->isEnabled());
        QVERIFY(!ui()->cbox_eth_dev->isEnabled());
        clear_log();

        QVERIFY(connect_board(true));
        QStringList log = log_entries();
        QCOMPARE(log.value(0), QString("success."));
        QCOMPARE(log.value(1), line);
        QCOMPARE(window()->connection_part().mcu_erased(), erased);
    }

    void refused_product_leaves_every_panel_silent()
    {
        REQUIRE_PRIVATE_NET();
        QVERIFY(start_board(board_with(7, 0, 1, 0)));
        open_window();
        clear_log();

        QVERIFY(!connect_board());
        QCOMPARE(log_entries(), (QStringList{"open device SIM-BOARD-01...", "success.", "invalid product id.7"}));
        QCOMPARE(ui()->btn_eth_connect->text(), QString("关闭"));

        // Nothing reaches the board: not the state poll, not the panels.
        auto frames = board()->stats().frames_received;
        clear_log();
        ui()->rgb_slider_p->setValue(40);
        ui()->buzzer_slider_duty->setValue(30);
        for (QPushButton* b : {ui()->sf_update, ui()->sf_earse, ui()->sf_read, ui()->cnc_param_read, ui()->cnc_tool_get,
                               ui()->cnc_dust_on, ui()->cnc_axis_x_add, ui()->cnc_tool_3, ui()->cnc_machine_id_set,
                               ui()->rgb_led_set})
            click(b);
        QTest::qWait(1200);
        QCOMPARE(board()->stats().frames_received, frames);
        QCOMPARE(log_entries(), QStringList{});

        // The button still offers the open path; the board is refused again.
        click(ui()->btn_eth_connect);
        QCOMPARE(log_entries(), (QStringList{"open device SIM-BOARD-01...", "success.", "invalid product id.7"}));
        QVERIFY(!device_open);
    }

    void nothing_found_then_connect_asks_for_a_device()
    {
        REQUIRE_PRIVATE_NET();
        bsim::config c = console_fixture::board_config();
        c.fault.discovery_silent = true;
        QVERIFY(start_board(c));
        open_window();
        QCOMPARE(ui()->cbox_eth_dev->count(), 0);
        QCOMPARE(log_entries(), QStringList{});
        click(ui()->btn_eth_connect);
        QCOMPARE(log_entries(), QStringList{"no device be selected..."});
        QVERIFY(!device_open);
    }

    void user_close_runs_the_close_path_twice()
    {
        REQUIRE_PRIVATE_NET();
        QVERIFY(start_board(console_fixture::board_config()));
        open_window();
        QVERIFY(connect_board());
        clear_log();

        click(ui()->btn_eth_connect);
        QCOMPARE(log_entries(), (QStringList{"close device...", "device 0 disconnect...", "close device...",
                                             "poll 1 devices...", "poll 1 devices..."}));
        QVERIFY(!device_open);
        
        QCOMPARE(ui()->btn_eth_connect->text(), QString("连接"));
        QVERIFY(ui()->btn_eth_poll->isEnabled());
        QVERIFY(ui()->cbox_eth_dev->isEnabled());
        QCOMPARE(ui()->cbox_eth_dev->count(), 1);

        // And it connects again.
        clear_log();
        QVERIFY(connect_board());
    }

    void static_close_reports_minus_one_and_keeps_the_list_disabled()
    {
        REQUIRE_PRIVATE_NET();
        QVERIFY(start_board(console_fixture::board_config()));
        open_window();
        QVERIFY(connect_board(true));
        clear_log();
        click(ui()->btn_eth_connect);
        QCOMPARE(log_entries().mid(0, 3),
                 (QStringList{"close device...", "device -1 disconnect...", "close device..."}));
        QCOMPARE(ui()->btn_eth_connect->text(), QString("连接"));
        QVERIFY(!ui()->btn_eth_poll->isEnabled());
        QVERIFY(!ui()->cbox_eth_dev->isEnabled());
        click(ui()->cbox_eth_static);
        QVERIFY(ui()->btn_eth_poll->isEnabled());
    }

    // The board drops the connection: the link notices on its own thread and
    // the console closes on the GUI thread.
    void board_hang_up_closes_the_connection()
    {
        REQUIRE_PRIVATE_NET();
        QVERIFY(start_board(console_fixture::board_config()));
        open_window();
        QVERIFY(connect_board());
        clear_log();

        board()->drop_connection();
        QVERIFY(wait_until([this] { return !device_open && log_entries().size() >= 3; }));
        QTest::qWait(200);
        QCOMPARE(log_entries(), (QStringList{"device 0 disconnect...", "close device...", "poll 1 devices..."}));
        QCOMPARE(ui()->btn_eth_connect->text(), QString("连接"));
        QVERIFY(ui()->cbox_eth_dev->isEnabled());
        QCOMPARE(ui()->cbox_eth_dev->count(), 1);
    }

    // A window closed while connected leaves the link open; the link's later
    // close must not reach the destroyed window.
    void link_closed_after_the_window_is_gone()
    {
        REQUIRE_PRIVATE_NET();
        QVERIFY(start_board(console_fixture::board_config()));
        open_window();
        QVERIFY(connect_board());
        window()->close();
        QVERIFY(!device_open);
        destroy_window();
        board()->drop_connection();
        QTest::qWait(300);
        QCoreApplication::processEvents();
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

    // The program ends with the connection open: exit code 0, nothing called
    // back into the destroyed window when the library closes the link.
    void closing_the_window_while_connected_exits_cleanly()
    {
        REQUIRE_PRIVATE_NET();
        QVERIFY(start_board(board_config()));
        QProcess demo;
        demo.setProgram(QCoreApplication::applicationDirPath() + "/console_demo");
        demo.setArguments({"--quit-after", "700"});
        demo.start();
        QVERIFY(demo.waitForFinished(60000));
        QByteArray out = demo.readAllStandardOutput(), err = demo.readAllStandardError();
        QVERIFY2(out.contains("controller list of 1 filled") && out.endsWith("\nconnected\n"), out.constData());
        QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
        QVERIFY2(demo.exitCode() == 0, err.right(3000).constData());
    }
};

CONSOLE_LINK_TEST_MAIN(connection_test)
#include "connection_test.moc"
