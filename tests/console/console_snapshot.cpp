// Renders the console window, connected to the simulated board in a
// private network, into a PNG: console_snapshot OUT.png
// Runs on whatever Qt platform is set (scripts/console-snapshot uses Xvfb).
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTest>
#include <cstdio>
#include <cstring>

#include "board_sim.h"
#include "pelk_test.h"
#include "private_net.h"
#include "ui_pelk_test.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: console_snapshot OUT.png\n");
        return 2;
    }
    private_net net({"10.233.0.1"}, {"10.233.0.2", "192.168.8.123"});
    if (!net.ok()) {
        std::fprintf(stderr, "console_snapshot: no private network: %s\n", net.why_not().c_str());
        return 2;
    }
    bsim::config cfg;
    cfg.set_machine_id = true;
    std::memcpy(cfg.id.machine_id.data(), "SIM-BOARD-01", 12);
    cfg.group_if = "10.233.0.2";
    if (!net.enter_board_side()) return 1;
    bsim::board board(cfg);
    std::string why;
    if (!board.start(&why)) {
        std::fprintf(stderr, "console_snapshot: board: %s\n", why.c_str());
        return 1;
    }
    if (!net.enter_host_side()) return 1;

    QApplication app(argc, argv);
    int rc = 1;
    {
        pelk_test window;
        window.show();
        QTest::mouseClick(window.form()->btn_eth_connect, Qt::LeftButton);
        // Let a few state polls fill the display.
        QTest::qWait(1500);
        QPixmap shot = window.grab();
        rc = shot.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
        window.close();
    }
    return rc;
}
