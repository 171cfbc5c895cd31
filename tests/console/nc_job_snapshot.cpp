// Renders the console into a PNG while an NC job runs on the simulated board
// in the same process (no network): download and execution bars part-way,
// positions moving. Usage: console_job_snapshot OUT.png
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "board_sim.h"
#include "board_sim_transport.h"
#include "cnc_board.h"
#include "pelk_test.h"
#include "ui_pelk_test.h"

namespace {

// A spiral pocket: every line moves X and Y, Z steps down now and then.
QByteArray spiral_program(int lines)
{
    QByteArray p = "G21 G90\nM3 S12000\nM8\n";
    for (int i = 0; i < lines; ++i) {
        double a = i * 0.05, r = 5 + i * 0.02;
        p += QString::asprintf("G1 X%.3f Y%.3f Z%.3f F1200\n", 60 + r * std::cos(a), 40 + r * std::sin(a),
                               -0.5 * (i / 500))
                 .toLatin1();
    }
    return p + "M9\nM5\n";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: console_job_snapshot OUT.png\n");
        return 2;
    }
    QString out = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
    bsim::config cfg;
    cfg.listen = false;
    cfg.set_machine_id = true;
    std::memcpy(cfg.id.machine_id.data(), "SIM-BOARD-01", 12);
    cfg.line_rate = 150;
    cfg.fault.delay_ms = 120;  // a slow link, so the download is still under way
    bsim::board board(cfg);
    std::string why;
    if (!board.start(&why)) {
        std::fprintf(stderr, "console_job_snapshot: board: %s\n", why.c_str());
        return 1;
    }
    cnc::board link(bsim::in_process(board));

    QApplication app(argc, argv);
    QTemporaryDir work;  // the numbered copy of the program goes here
    QDir::setCurrent(work.path());
    QFile program(work.filePath("spiral.nc"));
    if (!program.open(QIODevice::WriteOnly)) return 1;
    program.write(spiral_program(6000));
    program.close();

    int rc = 1;
    {
        pelk_test window(link);
        window.show();
        // The list fills a second after the window shows; the connect and
        // its identity reads are answered a little later.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000 && window.form()->cbox_eth_dev->count() == 0) QTest::qWait(20);
        QTest::mouseClick(window.form()->btn_eth_connect, Qt::LeftButton);
        while (t.elapsed() < 30000 && !device_open) QTest::qWait(20);
        QTest::qWait(600);  // a first poll
        window.form()->cnc_file_path->setText(program.fileName());
        QTest::mouseClick(window.form()->cnc_start, Qt::LeftButton);
        // Until a third of the file has arrived and the job has started.
        t.restart();
        auto* download = window.form()->cnc_nc_download;
        auto* run = window.form()->cnc_update_bar;
        while (t.elapsed() < 60000 &&
               !(download->value() > download->maximum() / 3 && run->value() > 0))
            QTest::qWait(50);
        QPixmap shot = window.grab();
        rc = shot.save(out, "PNG") ? 0 : 1;
        std::printf("download %d/%d bytes, line %d/%d\n", download->value(), download->maximum(), run->value(),
                    run->maximum());
        QTest::mouseClick(window.form()->cnc_reset, Qt::LeftButton);
        window.close();
    }
    return rc;
}
