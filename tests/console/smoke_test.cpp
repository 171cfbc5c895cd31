// Start-up: the window comes up as the form describes and its one discovery
// fills the controller list.
#include <QComboBox>

#include "console_fixture.h"
#include "ui_pelk_test.h"

class smoke_test : public console_fixture {
    Q_OBJECT
private slots:
    void init() { fixture_init(); }
    void cleanup() { fixture_cleanup(); }

    void startup_fills_the_controller_list()
    {
        REQUIRE_PRIVATE_NET();
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
};

CONSOLE_TEST_MAIN(smoke_test)
#include "smoke_test.moc"
