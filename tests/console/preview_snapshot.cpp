// Renders the toolpath preview of a public program during a job on the
// simulated board (executed part, tool marker, time) next to the main
// window with the time in its status bar, into one PNG. Needs OpenGL: run
// under Xvfb. Usage: console_preview_snapshot PROGRAM OUT.png
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "board_sim.h"
#include "board_sim_transport.h"
#include "cnc_board.h"
#include "gcode/check.h"
#include "message_boxes.h"
#include "pelk_test.h"
#include "toolpath_preview.h"
#include "toolpath_window.h"
#include "ui_pelk_test.h"

namespace {

constexpr double job_wall_seconds = 40;  // the board's time scale makes the job take about this long
constexpr double snapshot_share = 0.4;   // the picture is taken this far into the program

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: console_preview_snapshot PROGRAM OUT.png\n");
        return 2;
    }
    QString program = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QString out = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[2]));
    std::ifstream in(program.toStdString(), std::ios::binary);
    gcode::check_report plan = gcode::check_program(in, gcode::machine_settings::defaults());
    if (plan.lines == 0) {
        std::fprintf(stderr, "console_preview_snapshot: %s: nothing to run\n", argv[1]);
        return 2;
    }
    // The board in this process, reached without any network.
    bsim::config cfg;
    cfg.listen = false;
    cfg.set_machine_id = true;
    std::memcpy(cfg.id.machine_id.data(), "SIM-BOARD-01", 12);
    cfg.line_rate = 0;
    cfg.time_scale = std::max(1.0, plan.seconds / job_wall_seconds);
    bsim::board board(cfg);
    std::string why;
    if (!board.start(&why)) {
        std::fprintf(stderr, "console_preview_snapshot: board: %s\n", why.c_str());
        return 1;
    }
    cnc::board link(bsim::in_process(board));

    QApplication app(argc, argv);
    QTemporaryDir work;  // the numbered copy of the program goes here
    QDir::setCurrent(work.path());
    set_box_responder([](box_kind, const QString&, const QString&) { return 0x400; });
    int rc = 1;
    {
        pelk_test window(link);
        window.show();
        // The list fills a second after the window shows; then connect.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000 && window.form()->cbox_eth_dev->count() == 0) QTest::qWait(20);
        QTest::mouseClick(window.form()->btn_eth_connect, Qt::LeftButton);
        while (t.elapsed() < 30000 && !device_open) QTest::qWait(20);
        QTest::qWait(600);  // a first poll
        window.form()->cnc_file_path->setText(program);
        toolpath_preview* preview = window.preview();
        t.restart();
        while (t.elapsed() < 30000 && !preview->current()) QTest::qWait(50);
        QTest::mouseClick(window.form()->cnc_start, Qt::LeftButton);  // its check asks the board first
        uint64_t target = uint64_t(double(plan.last_motion_line) * snapshot_share);
        while (t.elapsed() < 120000 && board.machine().run_line < target) {
            auto m = board.machine();
            if (m.job_active && m.paused) QTest::mouseClick(window.form()->cnc_continue, Qt::LeftButton);
            QTest::qWait(50);
        }
        QTest::qWait(1100);  // two polls: marker, executed part and time follow
        preview->open_window();
        QTest::qWait(300);
        QImage left = preview->window()->grab().toImage(), right = window.grab().toImage();
        const int gap = 12;
        QImage both(left.width() + gap + right.width(), std::max(left.height(), right.height()), QImage::Format_RGB32);
        both.fill(Qt::white);
        QPainter p(&both);
        p.drawImage(0, 0, left);
        p.drawImage(left.width() + gap, 0, right);
        p.end();
        rc = both.save(out, "PNG") ? 0 : 1;
        std::printf("line %u of %llu, status bar: %s\n", board.machine().run_line,
                    (unsigned long long)plan.lines, qPrintable(preview->time_label()->text()));
        QTest::mouseClick(window.form()->cnc_reset, Qt::LeftButton);
        window.close();
    }
    return rc;
}
