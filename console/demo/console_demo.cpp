// The console as the demonstration shows it: the same window as pelk_test,
// with the connect button pressed for the operator once the controller list
// is filled. Run it where the simulated board can be reached
// (scripts/run-demo makes such a network).
//
//   console_demo                   show the connected console until it is closed
//   console_demo --snapshot FILE   render the connected window into a PNG and quit
//   console_demo --quit-after MS   close the window MS milliseconds after connecting
//   console_demo --lang en|zh ...  in that language (else the one last chosen)
//
// Prints how long the start-up took to fill the controller list, then
// "connected" or "not connected" after pressing the button; the exit code is
// the event loop's (1 when the snapshot cannot be written).
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "board_worker.h"
#include "cnc_board.h"
#include "language.h"
#include "pelk_test.h"
#include "ui_pelk_test.h"

namespace {

constexpr int settle_ms = 1500;  // a few state polls before the picture

int usage()
{
    std::fprintf(stderr, "usage: console_demo [--lang en|zh] [--snapshot FILE | --quit-after MS]\n");
    return 2;
}

}  // namespace

int main(int argc, char* argv[])
{
    QString snapshot;
    int quit_after = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--snapshot") == 0 && i + 1 < argc)
            snapshot = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--quit-after") == 0 && i + 1 < argc)
            quit_after = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--lang") == 0 && i + 1 < argc)
            ++i;  // read with the application's arguments
        else
            return usage();
    }

    QElapsedTimer startup;
    startup.start();
    QApplication app(argc, argv);
    if (!apply_startup_language(app.arguments(), "console_demo")) return usage();
    pelk_test window(cnc::default_board());
    window.show();
    int rc = 0;
    bool pressed = false;
    // Says whether it connected; then the picture, or the close.
    auto report = [&] {
        std::printf("%s\n", device_open ? "connected" : "not connected");
        std::fflush(stdout);
        if (!snapshot.isEmpty()) {
            QTimer::singleShot(settle_ms, &window, [&] {
                if (!window.grab().save(snapshot, "PNG")) {
                    std::fprintf(stderr, "console_demo: cannot write %s\n", qPrintable(snapshot));
                    rc = 1;
                }
                window.close();
            });
        } else if (quit_after >= 0) {
            QTimer::singleShot(quit_after, &window, [&] { window.close(); });
        }
    };
    // The list fills about a second after the window shows; then the button.
    QObject::connect(&window.worker(), &board_worker::discovered, &window, [&] {
        if (pressed) return;
        pressed = true;
        const int listed = window.form()->cbox_eth_dev->count();
        std::printf("controller list of %d filled in %lld ms\n", listed, static_cast<long long>(startup.elapsed()));
        window.form()->btn_eth_connect->click();
        if (listed == 0) report();  // nothing to connect to: no answer comes
    });
    // After the window has taken the connect's answer (queued behind it).
    QObject::connect(&window.worker(), &board_worker::opened, &window,
                     [&] { QTimer::singleShot(0, &window, report); });
    int loop = app.exec();
    return rc != 0 ? rc : loop;
}
