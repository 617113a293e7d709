// The host's keep-awake inhibitor against a logind stand-in on a private message bus: the lock is a
// real descriptor passed over the bus, held while the request lasts.
#include "zalKeepAwakeInhibitor.h"
#include "zalKeepAwake.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

// logind's Inhibit: answers the write end of a pipe and keeps the read end, which reads end-of-file
// once every copy of the write end is closed (the lock released).
class FakeLogin : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~FakeLogin() override
    {
        for (int fd : readEnds)
            ::close(fd);
    }
    QStringList calls;
    QList<int> readEnds;

    // True while some write end of the last lock is still open.
    bool lastLockHeld() const
    {
        if (readEnds.isEmpty()) return false;
        char byte;
        ssize_t got = ::read(readEnds.last(), &byte, 1);
        return got < 0 && errno == EAGAIN;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode)
    {
        Q_UNUSED(who);
        calls << what + "|" + mode + "|" + why;
        int fds[2];
        if (::pipe(fds) != 0) return QDBusUnixFileDescriptor();
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        readEnds << fds[0];
        QDBusUnixFileDescriptor lock(fds[1]);
        ::close(fds[1]);
        return lock;
    }
};

bool waitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

class KeepAwakeInhibitorTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char arg0[] = "keepawake";
        static char* argv[] = {arg0, nullptr};
        if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    }

    void SetUp() override
    {
        zalSetThreadExecutionState(ZAL_ES_CONTINUOUS);
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        ASSERT_TRUE(daemon.waitForStarted()) << "dbus-daemon is needed";
        ASSERT_TRUE(waitFor([&] { return daemon.canReadLine(); }));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
    }

    void TearDown() override
    {
        zalSetThreadExecutionState(ZAL_ES_CONTINUOUS);
        for (const QString& name : connections)
            QDBusConnection::disconnectFromBus(name);
        daemon.kill();
        daemon.waitForFinished();
    }

    QDBusConnection connect(const QString& name)
    {
        connections << name;
        return QDBusConnection::connectToBus(address, name);
    }

    // Publishes the stand-in under logind's name on its own connection.
    void publishLogin()
    {
        QDBusConnection service = connect("login");
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(
            service.registerObject("/org/freedesktop/login1", &login, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService("org.freedesktop.login1"));
    }

    QProcess daemon;
    QString address;
    QStringList connections;
    FakeLogin login;
};

TEST_F(KeepAwakeInhibitorTest, holdsTheLockWhileAContinuousRequestAsksForTheSystem)
{
    publishLogin();
    QDBusConnection client = connect("client");
    ASSERT_TRUE(client.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing);
    zalKeepAwakeInhibitor inhibitor(client);
    EXPECT_FALSE(inhibitor.isRequested());

    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS | ZAL_ES_SYSTEM_REQUIRED | ZAL_ES_AWAYMODE_REQUIRED);
    EXPECT_TRUE(inhibitor.isRequested());
    ASSERT_TRUE(waitFor([&] { return inhibitor.isHolding(); })) << inhibitor.lastError().toStdString();
    ASSERT_EQ(login.calls.size(), 1);
    EXPECT_TRUE(login.calls[0].startsWith("sleep:idle|block|"));
    EXPECT_TRUE(login.lastLockHeld());

    // The same request again takes no second lock.
    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS | ZAL_ES_SYSTEM_REQUIRED | ZAL_ES_AWAYMODE_REQUIRED);
    QCoreApplication::processEvents();
    EXPECT_EQ(login.calls.size(), 1);

    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS);
    EXPECT_FALSE(inhibitor.isRequested());
    EXPECT_FALSE(inhibitor.isHolding());
    EXPECT_FALSE(login.lastLockHeld());
}

TEST_F(KeepAwakeInhibitorTest, oneOffAndDisplayOnlyRequestsTakeNothing)
{
    publishLogin();
    zalKeepAwakeInhibitor inhibitor(connect("client"));
    zalSetThreadExecutionState(ZAL_ES_SYSTEM_REQUIRED);
    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS | ZAL_ES_DISPLAY_REQUIRED);
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(inhibitor.isRequested());
    EXPECT_TRUE(login.calls.isEmpty());
}

TEST_F(KeepAwakeInhibitorTest, requestEndedBeforeTheAnswerHoldsNothing)
{
    publishLogin();
    zalKeepAwakeInhibitor inhibitor(connect("client"));
    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS | ZAL_ES_SYSTEM_REQUIRED);
    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS);
    ASSERT_TRUE(waitFor([&] { return !login.calls.isEmpty(); }));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(inhibitor.isHolding());
    EXPECT_FALSE(login.lastLockHeld());
}

TEST_F(KeepAwakeInhibitorTest, withoutLogindTheErrorSaysWhy)
{
    zalKeepAwakeInhibitor inhibitor(connect("client"));
    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS | ZAL_ES_SYSTEM_REQUIRED);
    ASSERT_TRUE(waitFor([&] { return !inhibitor.lastError().isEmpty(); }));
    EXPECT_FALSE(inhibitor.isHolding());

    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS);
    zalKeepAwakeInhibitor offline(QDBusConnection("nowhere"));
    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS | ZAL_ES_SYSTEM_REQUIRED);
    EXPECT_FALSE(offline.isHolding());
    EXPECT_FALSE(offline.lastError().isEmpty());
}

} // namespace

#include "zalKeepAwakeInhibitorTest.moc"
