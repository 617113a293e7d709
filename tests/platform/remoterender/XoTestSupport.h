#pragma once

// Shared by the channel and viewer tests: a Qt application for the event loop, and waiting for
// something to happen while that loop runs.
#include "tests/common/zalTestApplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <functional>

namespace xotest {

inline void ensureApplication()
{
    // Viewer processes started from tests inherit this. Under the sanitizers their Mesa and D-Bus
    // libraries keep allocations past exit, which the leak checker would turn into exit code 1
    // and so hide the exit codes the tests check. The test processes themselves keep leak checking.
    const QByteArray options = qgetenv("ASAN_OPTIONS");
    if (!options.contains("detect_leaks"))
        qputenv("ASAN_OPTIONS", options + (options.isEmpty() ? "" : ":") + "detect_leaks=0");

    zalEnsureTestApplication<QCoreApplication>();
}

// Runs the event loop until `condition` holds. The limit only keeps a broken build from hanging;
// nothing is measured with it.
inline bool waitUntil(const std::function<bool()>& condition, int limitMs = 60000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// Asks the viewer a sender started to end and waits until its process has gone.
template <class Sender> inline void stopViewer(Sender* sender)
{
    if (!sender) return;
    sender->requestRenderExit();
    waitUntil([sender] { return !sender->isProcessRunning(); });
}

inline QString binDir()
{
    const QByteArray dir = qgetenv("ZAL_BIN_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(dir);
}

inline QString viewerExecutable()
{
    return binDir() +
           QStringLiteral(
               "/zalUnrealViewerResources/UE4/zalViewer/Binaries/Win64/zalViewer-Win64-Shipping.exe");
}

} // namespace xotest
