// The service console: one window on the event loop.
#include <QApplication>

#include "pelk_test.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    pelk_test window(cnc::default_board());
    window.show();
    return app.exec();
}
