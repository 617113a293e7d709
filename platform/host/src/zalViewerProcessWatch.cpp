#include "zalViewerProcessWatch.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

// "pid (comm) state ppid ...": the name may hold blanks and parentheses, so the fields are read after
// the last ')'.
bool readStat(const QString& pid, QByteArray& name, char& state, long& ppid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray line = file.readAll();
    const int open = line.indexOf('('), close = line.lastIndexOf(')');
    if (open < 0 || close < open) return false;
    name = line.mid(open + 1, close - open - 1);
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 2 || fields.at(0).isEmpty()) return false;
    state = fields.at(0).at(0);
    bool ok = false;
    ppid = fields.at(1).toLong(&ok);
    return ok;
}

} // namespace

zalViewerProcessWatch::zalViewerProcessWatch(QObject* parent) : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &zalViewerProcessWatch::poll);
}

void zalViewerProcessWatch::start(int milliseconds)
{
    m_timer.start(milliseconds);
    poll();
}

void zalViewerProcessWatch::stop()
{
    m_timer.stop();
}

QHash<long, char> zalViewerProcessWatch::scan()
{
    QHash<long, char> found;
    const long self = long(::getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const long pid = entry.toLong(&numeric);
        if (!numeric) continue;
        QByteArray name;
        char state = 0;
        long ppid = 0;
        if (!readStat(entry, name, state, ppid) || ppid != self || !name.startsWith("zalViewer")) continue;
        // A zombie has ended already; its reaper has not come by yet.
        if (state == 'Z' || state == 'X') continue;
        found.insert(pid, state);
    }
    return found;
}

void zalViewerProcessWatch::poll()
{
    const QHash<long, char> now = scan();
    const QHash<long, char> before = m_known;
    m_known = now;
    for (auto it = now.begin(); it != now.end(); ++it) {
        const bool stopped = it.value() == 'T' || it.value() == 't';
        if (!before.contains(it.key())) emit viewerStarted(it.key());
        const char was = before.value(it.key(), 0);
        if (stopped && was != 'T' && was != 't')
            emit viewerStopped(it.key(),
                               tr("the viewer process %1 was stopped and does not answer").arg(it.key()));
    }
    for (auto it = before.begin(); it != before.end(); ++it)
        if (!now.contains(it.key()))
            emit viewerEnded(it.key(), tr("the viewer process %1 ended").arg(it.key()));
}

int zalViewerProcessWatch::endAll(int graceMilliseconds)
{
    const QList<long> pids = scan().keys();
    for (long pid : pids) {
        ::kill(pid_t(pid), SIGCONT);
        ::kill(pid_t(pid), SIGTERM);
    }
    QDeadlineTimer deadline(graceMilliseconds);
    while (!deadline.hasExpired()) {
        bool left = false;
        const QHash<long, char> now = scan();
        for (long pid : pids)
            left = left || now.contains(pid);
        if (!left) return pids.size();
        QThread::msleep(20);
    }
    for (long pid : scan().keys())
        if (pids.contains(pid)) ::kill(pid_t(pid), SIGKILL);
    return pids.size();
}
