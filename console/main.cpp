// The service console: one window on the event loop.
#include <QApplication>
#include <cstdio>
#include <cstring>

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
    pelk_test window;
    window.show();
    return app.exec();
}
