#pragma once

#include <QHash>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Watches the viewer processes this host started (children whose name begins with "zalViewer"): tells
// when one appears, ends, or is stopped and so cannot answer. The render module's channel owns and
// reaps those processes; the host looks at them only through /proc, so it can name the cause when a
// viewer goes away and end what is left when it exits.
class zalViewerProcessWatch : public QObject
{
    Q_OBJECT
public:
    explicit zalViewerProcessWatch(QObject* parent = nullptr);
    ~zalViewerProcessWatch() override;

    // Looks every `milliseconds` on a thread of its own (the first look is immediate), so a viewer that
    // lives only while the GUI thread is busy (a first synchronisation) is still seen; the signals
    // arrive through the owner's event loop.
    void start(int milliseconds = 200);
    void stop();
    // Looks now, on the calling thread; the signals go out from here.
    void poll();

    // Viewer processes alive at the last look (running or stopped), by pid.
    QList<long> viewers() const;

    // Ends every viewer child still there: stopped ones are continued so they can take the signal, then
    // killed if they have not gone after `graceMilliseconds`. The number of processes ended.
    static int endAll(int graceMilliseconds = 2000);
    // Child processes of this process named like the viewer, with their state letter from /proc.
    static QHash<long, char> scan();

signals:
    void viewerStarted(long pid);
    // reason: a sentence for the user ("the viewer process 123 ended").
    void viewerEnded(long pid, const QString& reason);
    void viewerStopped(long pid, const QString& reason);

private:
    // Compares a look with the last one; the changes go out through emitter.
    void compare(const QHash<long, char>& now, bool queued);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_stopping = false;
    QHash<long, char> m_known;
};
