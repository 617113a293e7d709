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

zalViewerProcessWatch::zalViewerProcessWatch(QObject* parent) : QObject(parent) {}

zalViewerProcessWatch::~zalViewerProcessWatch()
{
    stop();
}

void zalViewerProcessWatch::start(int milliseconds)
{
    stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = false;
    }
    m_thread = std::thread([this, milliseconds] {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stopping) {
            lock.unlock();
            const QHash<long, char> now = scan();
            compare(now, true);
            lock.lock();
            m_wake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_stopping; });
        }
    });
}

void zalViewerProcessWatch::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

QList<long> zalViewerProcessWatch::viewers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_known.keys();
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
    compare(scan(), false);
}

void zalViewerProcessWatch::compare(const QHash<long, char>& now, bool queued)
{
    QHash<long, char> before;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        before = m_known;
        m_known = now;
    }
    // Collected first and sent after: no signal goes out while the lock is held.
    struct Change
    {
        int kind; // 0 started, 1 stopped, 2 ended
        long pid;
    };
    QList<Change> changes;
    for (auto it = now.begin(); it != now.end(); ++it) {
        const bool stopped = it.value() == 'T' || it.value() == 't';
        if (!before.contains(it.key())) changes.push_back({0, it.key()});
        const char was = before.value(it.key(), 0);
        if (stopped && was != 'T' && was != 't') changes.push_back({1, it.key()});
    }
    for (auto it = before.begin(); it != before.end(); ++it)
        if (!now.contains(it.key())) changes.push_back({2, it.key()});
    for (const Change& change : changes) {
        auto send = [this, change] {
            if (change.kind == 0)
                emit viewerStarted(change.pid);
            else if (change.kind == 1)
                emit viewerStopped(
                    change.pid, tr("the viewer process %1 was stopped and does not answer").arg(change.pid));
            else
                emit viewerEnded(change.pid, tr("the viewer process %1 ended").arg(change.pid));
        };
        if (queued)
            QMetaObject::invokeMethod(this, send, Qt::QueuedConnection);
        else
            send();
    }
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
