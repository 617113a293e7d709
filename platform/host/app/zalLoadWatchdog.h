#pragma once

#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

// Ends the process with exit code 5 when loading a drawing takes longer than the headless run's
// --timeout. Loading blocks the GUI thread, so no timer of the event loop could end it; a thread
// waits instead. Without a timeout (seconds <= 0) it does nothing.
class zalLoadWatchdog
{
public:
    // spentMs: what earlier reads of the same load already took from the budget (a drawing with
    // module entities is read twice), so the whole load stays within seconds.
    zalLoadWatchdog(int seconds, const QString& file, qint64 spentMs = 0);
    ~zalLoadWatchdog();
    // Loading finished in time.
    void disarm();

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_disarmed = false;
    std::thread m_thread;
};
