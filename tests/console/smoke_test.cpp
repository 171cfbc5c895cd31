// Start-up: the window comes up as the form describes and its one discovery
// fills the controller list; everything it does goes to the board object it
// was given.
#include <QComboBox>
#include <QSlider>
#include <cstring>

#include "board_sim_transport.h"
#include "console_fixture.h"
#include "ui_pelk_test.h"

class smoke_test : public console_fixture {
    Q_OBJECT
private slots:
    void init() { fixture_init(); }
    void cleanup() { fixture_cleanup(); }

    void startup_fills_the_controller_list()
    {
        QString why;
        QVERIFY2(start_board(board_config(), &why), qPrintable(why));
        open_window();
        QCOMPARE(window()->windowTitle(), QString("TZV DUZ2033"));
        QCOMPARE(window()->size(), QSize(1083, 726));
        QCOMPARE(ui()->cbox_eth_dev->count(), 1);
        QCOMPARE(ui()->cbox_eth_dev->itemText(0), QString("SIM-BOARD-01"));
        QCOMPARE(log_entries(), QStringList{"poll 1 devices..."});
        QVERIFY(!device_open);
    }

    // A second board beside the fixture's: a window given a board object on
    // it lists, connects, polls and sets outputs there, and the fixture's
    // board hears nothing.
    void the_window_works_on_the_board_object_it_is_given()
    {
        QVERIFY(start_board(board_config()));
        bsim::config cfg = board_config();
        cfg.listen = false;
        std::memcpy(cfg.id.machine_id.data(), "SIM-BOARD-02", 12);
        bsim::board other(cfg);
        QVERIFY(other.start());
        cnc::board other_link(bsim::in_process(other));
        {
            pelk_test w(other_link);
            QVERIFY(wait_until([&] { return w.form()->cbox_eth_dev->count() == 1; }));
            QCOMPARE(w.form()->cbox_eth_dev->itemText(0), QString("SIM-BOARD-02"));
            QTest::mouseClick(w.form()->btn_eth_connect, Qt::LeftButton);
            QVERIFY(wait_until([] { return device_open.load(); }));
            QVERIFY(wait_until([&] { return other.stats().frames_received > 5; }));  // the state poll
            w.form()->rgb_slider_p->setValue(40);
            QVERIFY(wait_until([&] { return other.peripheral_state().rgb_progress == 40; }));
            w.close();
        }
        other_link.cnc_close_dev();
        QCOMPARE(board()->stats().frames_received, uint64_t(0));
        QCOMPARE(board()->stats().connections, uint64_t(0));
    }
};

CONSOLE_TEST_MAIN(smoke_test)
#include "smoke_test.moc"
