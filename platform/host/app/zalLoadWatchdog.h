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
    zalLoadWatchdog(int seconds, const QString& file);
    ~zalLoadWatchdog();
    // Loading finished in time.
    void disarm();

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_disarmed = false;
    std::thread m_thread;
};
