#pragma once

// Waiting on the GUI thread while the viewer or the host answers: events are handled meanwhile.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace zalBench {

inline bool waitFor(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!done()) QThread::usleep(100);
    }
    return true;
}

} // namespace zalBench
