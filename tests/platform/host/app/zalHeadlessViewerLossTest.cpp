// The zalhost executable headless, with the real viewer under Xvfb, when the viewer goes away: killed
// during the first synchronisation or during the image export, or stopped (SIGSTOP). The run ends with
// a line naming that cause (not a time-out), and no viewer is left behind.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/types.h>

namespace {

// Children of pid named like the viewer that have not ended.
QList<long> viewersOf(long parent)
{
    QList<long> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = f.readAll();
        const int open = line.indexOf('('), close = line.lastIndexOf(')');
        if (open < 0 || close < open) continue;
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() < 2 || fields.at(1).toLong() != parent) continue;
        if (!line.mid(open + 1, close - open - 1).startsWith("zalViewer")) continue;
        if (fields.at(0) == "Z") continue;
        found << entry.toLong();
    }
    return found;
}

bool alive(long pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray line = f.readAll();
    return !line.mid(line.lastIndexOf(')') + 2).startsWith('Z');
}

template <class F> bool within(int milliseconds, F done)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        QThread::msleep(20);
    }
    return true;
}

class HeadlessViewerLoss : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qgetenv("DISPLAY").isEmpty()) << "needs an X server (xvfb-run)";
        sample = dir.filePath(QStringLiteral("pavilion.dxf"));
        ASSERT_TRUE(QFile::copy(QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR")) +
                                    QStringLiteral("/samples/pavilion.dxf"),
                                sample));
    }
    void TearDown() override
    {
        if (host.state() != QProcess::NotRunning) {
            host.kill();
            host.waitForFinished();
        }
        for (long pid : leftovers)
            if (alive(pid)) ::kill(pid_t(pid), SIGKILL);
    }

    void start(const QStringList& extra)
    {
        host.setProcessChannelMode(QProcess::SeparateChannels);
        host.start(QDir(QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR"))).filePath(QStringLiteral("zalhost")),
                   QStringList{QStringLiteral("--open"), sample, QStringLiteral("--timeout"),
                               QStringLiteral("120")} +
                       extra);
        ASSERT_TRUE(host.waitForStarted());
    }

    long waitForViewer()
    {
        long pid = 0;
        within(120000, [&] {
            const QList<long> v = viewersOf(long(host.processId()));
            if (!v.isEmpty()) pid = v.first();
            return pid != 0 || host.state() == QProcess::NotRunning;
        });
        if (pid) leftovers << pid;
        return pid;
    }

    bool outputHas(const QString& text)
    {
        host.waitForReadyRead(50);
        out += QString::fromLocal8Bit(host.readAllStandardOutput());
        return out.contains(text);
    }

    // Waits for the run to end; the seconds from `since` to the end are printed for the report.
    int finish(const QElapsedTimer& since, const char* what)
    {
        if (!host.waitForFinished(200000)) return -1;
        std::printf("[ figure ] %s: the run ended %.2f s after the viewer went away\n", what,
                    since.elapsed() / 1000.0);
        out += QString::fromLocal8Bit(host.readAllStandardOutput());
        err = QString::fromLocal8Bit(host.readAllStandardError());
        return host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -2;
    }

    QTemporaryDir dir;
    QString sample;
    QProcess host;
    QString out, err;
    QList<long> leftovers;
};

} // namespace

TEST_F(HeadlessViewerLoss, ViewerKilledDuringTheFirstSynchronisationEndsTheRunWithThatCause)
{
    start({QStringLiteral("--export-image"), dir.filePath(QStringLiteral("out.png"))});
    const long viewer = waitForViewer();
    ASSERT_NE(viewer, 0) << "no viewer started";
    // The host looks at its children every 100 ms; a viewer gone before it was ever seen is not told
    // apart from one that has not started yet.
    QThread::msleep(300);
    ASSERT_FALSE(outputHas(QStringLiteral("first synchronisation done")));
    ::kill(pid_t(viewer), SIGKILL);
    QElapsedTimer since;
    since.start();
    // With --timeout 120 a run that waited for the viewer would end with code 5 after two minutes.
    EXPECT_EQ(finish(since, "killed during the first synchronisation"), 6) << err.toStdString();
    EXPECT_TRUE(
        err.contains(QStringLiteral("the viewer process %1 ended while waiting for the viewer's first "
                                    "synchronisation")
                         .arg(viewer)))
        << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("never answered")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out.png"))));
}

TEST_F(HeadlessViewerLoss, ViewerKilledDuringTheExportEndsTheRunWithThatCause)
{
    const QString dump = dir.filePath(QStringLiteral("scene.json"));
    // A large image keeps the viewer busy with the export for a while.
    start({QStringLiteral("--dump-scene"), dump, QStringLiteral("--export-image"),
           dir.filePath(QStringLiteral("out.png")), QStringLiteral("--size"), QStringLiteral("3840x2160")});
    const long viewer = waitForViewer();
    ASSERT_NE(viewer, 0);
    // The export starts once the dump has been read back complete.
    ASSERT_TRUE(within(120000, [&] {
        QFile f(dump);
        return (f.open(QIODevice::ReadOnly) && !QJsonDocument::fromJson(f.readAll()).isNull()) ||
               host.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(host.state(), QProcess::Running)
        << QString::fromLocal8Bit(host.readAllStandardError()).toStdString();
    QThread::msleep(700);
    ::kill(pid_t(viewer), SIGKILL);
    QElapsedTimer since;
    since.start();
    EXPECT_EQ(finish(since, "killed during the export"), 6) << err.toStdString();
    EXPECT_TRUE(err.contains(
        QStringLiteral("the viewer process %1 ended while waiting for the viewer to write").arg(viewer)))
        << err.toStdString();
}

TEST_F(HeadlessViewerLoss, StoppedViewerEndsTheRunAndDoesNotOutliveTheHost)
{
    start({QStringLiteral("--export-image"), dir.filePath(QStringLiteral("out.png"))});
    const long viewer = waitForViewer();
    ASSERT_NE(viewer, 0);
    ASSERT_TRUE(within(120000, [&] {
        return outputHas(QStringLiteral("first synchronisation done")) ||
               host.state() == QProcess::NotRunning;
    }));
    ::kill(pid_t(viewer), SIGSTOP);
    QElapsedTimer since;
    since.start();
    EXPECT_EQ(finish(since, "stopped"), 6) << err.toStdString();
    EXPECT_TRUE(
        err.contains(QStringLiteral("the viewer process %1 was stopped and does not answer").arg(viewer)))
        << err.toStdString();
    // Reparented once the host is gone, it must have been ended, not left stopped.
    EXPECT_TRUE(within(10000, [&] { return !alive(viewer); })) << "viewer " << viewer << " survived its host";
}

TEST_F(HeadlessViewerLoss, PictureTheViewerCannotWriteEndsTheRunWithTheViewersReason)
{
    // The image's name is taken by a folder: the viewer cannot write there and says so.
    const QString out = dir.filePath(QStringLiteral("taken.png"));
    ASSERT_TRUE(QDir().mkpath(out));
    host.setProcessChannelMode(QProcess::SeparateChannels);
    host.start(QDir(QString::fromLocal8Bit(qgetenv("ZAL_BIN_DIR"))).filePath(QStringLiteral("zalhost")),
               {QStringLiteral("--open"), sample, QStringLiteral("--timeout"), QStringLiteral("60"),
                QStringLiteral("--export-image"), out, QStringLiteral("--size"), QStringLiteral("64x32")});
    ASSERT_TRUE(host.waitForStarted());
    leftovers << viewersOf(long(host.processId()));
    QElapsedTimer since;
    since.start();
    // Without the viewer's report the run would wait for the file and end with code 5 after 60 s.
    EXPECT_EQ(finish(since, "picture that cannot be written (timed from the start)"), 7) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("zalhost: viewer: HighResShot: cannot write %1").arg(out)))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("the viewer could not write %1").arg(out))) << err.toStdString();
}
