#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>

// Watches the viewer processes this host started (children whose name begins with "zalViewer"): tells
// when one appears, ends, or is stopped and so cannot answer. The render module's channel owns and
// reaps those processes; the host looks at them only through /proc, so it can name the cause when a
// viewer goes away and end what is left when it exits.
class zalViewerProcessWatch : public QObject
{
    Q_OBJECT
public:
    explicit zalViewerProcessWatch(QObject* parent = nullptr);

    // Looks every `milliseconds` (the first look is immediate).
    void start(int milliseconds = 200);
    void stop();
    // Looks now; the signals go out from here.
    void poll();

    // Viewer processes alive now (running or stopped), by pid.
    QList<long> viewers() const { return m_known.keys(); }
    bool isStopped(long pid) const { return m_known.value(pid) == 'T' || m_known.value(pid) == 't'; }

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
    QTimer m_timer;
    QHash<long, char> m_known;
};
