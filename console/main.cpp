// The service console: one window on the event loop.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "cnc_board.h"
#include "language.h"
#include "pelk_test.h"
#include "project_version.h"

int main(int argc, char* argv[])
{
    // Answered before any window or display is needed.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("pelk_test %s\n", PROJECT_VERSION_TEXT);
            return 0;
        }
    QApplication app(argc, argv);
    // --lang en|zh: for this run only; otherwise the language last chosen.
    if (!apply_startup_language(app.arguments(), "pelk_test")) return 2;
    // --screenshot FILE: the window, three seconds after it shows (its
    // first discovery has filled the controller list by then), saved as a
    // picture; then the program ends. For package checks and documentation.
    QString screenshot;
    const QStringList args = app.arguments();
    int at = args.indexOf("--screenshot");
    if (at > 0 && at + 1 < args.size()) screenshot = args.at(at + 1);
    pelk_test window(cnc::default_board());
    window.show();
    if (!screenshot.isEmpty())
        QTimer::singleShot(3000, &window, [&] { app.exit(window.grab().save(screenshot) ? 0 : 1); });
    return app.exec();
}
