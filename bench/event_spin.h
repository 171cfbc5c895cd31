// The benchmarks' wait on the GUI thread: runs the event loop, sleeping
// between events, until done() holds or ms pass; false on time-out.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

template <typename F>
bool spin(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    QTimer wake;  // a look at done() at least every 10 ms
    wake.start(10);
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}
