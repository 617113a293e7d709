#include "zalLoadWatchdog.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

zalLoadWatchdog::zalLoadWatchdog(int seconds, const QString& file, qint64 spentMs)
{
    if (seconds <= 0) {
        m_disarmed = true;
        return;
    }
    const QByteArray name = QFileInfo(file).fileName().toLocal8Bit();
    const auto left = std::chrono::milliseconds(std::max<qint64>(0, qint64(seconds) * 1000 - spentMs));
    m_thread = std::thread([this, seconds, name, left] {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_done.wait_for(lock, left, [this] { return m_disarmed; })) return;
        std::fprintf(stderr, "zalhost: timed out after %d s waiting for %s to load\n", seconds,
                     name.constData());
        std::fflush(stderr);
        // Nothing else has started yet (no viewer, no files written; at most the render module is
        // loaded, which holds nothing outside the process): leaving at once is safe.
        std::_Exit(5);
    });
}

zalLoadWatchdog::~zalLoadWatchdog()
{
    disarm();
}

void zalLoadWatchdog::disarm()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_disarmed = true;
    }
    m_done.notify_all();
    if (m_thread.joinable()) m_thread.join();
}
