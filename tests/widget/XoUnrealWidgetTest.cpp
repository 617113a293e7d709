// The real viewer process under an X server: started by the widget, its window embedded, input
// routed to it, minimised on close, released before the host's window goes, and its end survived.
#include "tests/common/zalModuleTestHost.h"
#include "tests/common/zalViewerProcesses.h"

#include "zalX11.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>

#include <csignal>
#include <memory>
#include <sys/types.h>
#include <unistd.h>

namespace {

const int kViewerTimeoutMs = 60000;

// The X errors Qt reports while installed, as it prints them; other messages go on as before.
class XErrorsReported
{
public:
    XErrorsReported() { s_previous = qInstallMessageHandler(&XErrorsReported::handle); }
    ~XErrorsReported() { qInstallMessageHandler(s_previous); }
    static QStringList& lines()
    {
        static QStringList l;
        return l;
    }
    // Those about one window.
    // Errors about this window are only recorded.
    static WId quiet;
    static QStringList about(WId window)
    {
        return lines().filter(QStringLiteral("resource id: %1,").arg(window));
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (message.contains(QLatin1String("XCB error"))) {
            lines() << message;
            // The probe's errors are expected; the rest are printed as usual.
            if (quiet && message.contains(QStringLiteral("resource id: %1,").arg(quiet))) return;
        }
        if (s_previous) s_previous(type, context, message);
    }
    static QtMessageHandler s_previous;
};
QtMessageHandler XErrorsReported::s_previous = nullptr;
WId XErrorsReported::quiet = 0;

} // namespace

class ViewerEmbedding : public zalModuleTestHost
{
protected:
    void SetUp() override
    {
        useRecordingTransport = false;
        zalModuleTestHost::SetUp();
    }

    void embed(const Opened& o) { showInRealViewer(o, QSize(640, 480)); }

    // The viewer's scene and settings as it dumps them.
    QJsonObject dump(const Opened& o)
    {
        const QString path = dir.filePath(QStringLiteral("dump%1.json").arg(++dumps));
        o.session->sender()->sendConsoleCommand("zal.DumpScene \"" + path + "\"");
        EXPECT_TRUE(
            waitFor([&] { return QFile::exists(path) && QFileInfo(path).size() > 0; }, kViewerTimeoutMs));
        spin(200);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return QJsonObject();
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    static bool hasNamed(const QJsonArray& array, const QString& name)
    {
        for (const QJsonValue& value : array)
            if (value.toObject().value("name").toString() == name) return true;
        return false;
    }

    int dumps = 0;
};

TEST_F(ViewerEmbedding, theViewerStartsWithItsWindowEmbeddedAndGetsTheDrawing)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId face = addFace(db, 2.0);
    Opened o = open(db);
    ASSERT_NE(o.widget, nullptr);
    embed(o);

    const unsigned long handle = o.widget->viewerWindow();
    EXPECT_EQ(reinterpret_cast<unsigned long>(o.session->viewerWindowHandle()), handle);
    EXPECT_TRUE(zalX11WindowExists(handle));
    EXPECT_NE(zalX11Parent(handle), zalX11Root());
    EXPECT_TRUE(zalX11IsInputDisabled(handle));
    EXPECT_TRUE(o.widget->isVisible());
    EXPECT_TRUE(o.session->isLive());
    EXPECT_EQ(zalViewerChildren().size(), 1);

    const QJsonObject scene = dump(o);
    const QJsonArray instances = scene.value("instances").toArray();
    EXPECT_TRUE(hasNamed(instances, name(face)));
    EXPECT_TRUE(hasNamed(instances, name(db->getModelSpaceId()) + "_Root"));
    EXPECT_FALSE(scene.value("meshes").toArray().isEmpty());
    const QJsonObject settings = scene.value("settings").toObject();
    EXPECT_TRUE(settings.value("camera").toObject().value("set").toBool());
    EXPECT_TRUE(settings.value("toneMapper").toObject().value("set").toBool());
    EXPECT_FALSE(settings.value("renderPaused").toBool());

    // A change reaches the live viewer.
    const OdDbObjectId added = addFace(db, 8.0);
    ASSERT_TRUE(waitFor([&] { return hasNamed(dump(o).value("instances").toArray(), name(added)); }, 20000));
}

TEST_F(ViewerEmbedding, cameraModeInputReachesTheViewerAndClosingMinimisesItsWindow)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    embed(o);
    const unsigned long handle = o.widget->viewerWindow();

    o.widget->setCameraMode(true);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 20), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(o.widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(10, 20), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(o.widget, &release);
    const QJsonArray inputs =
        dump(o).value("settings").toObject().value("input").toObject().value("last").toArray();
    bool pressed = false;
    bool released = false;
    for (const QJsonValue& value : inputs) {
        const QJsonObject r = value.toObject();
        if (r.value("x").toInt() == 10 && r.value("y").toInt() == 20 && r.value("a").toInt() == 0) {
            pressed = pressed || r.value("type").toInt() == 3;
            released = released || r.value("type").toInt() == 4;
        }
    }
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(released);

    ASSERT_TRUE(zalX11IsViewable(handle));
    o.widget->close();
    EXPECT_FALSE(zalX11IsViewable(handle));
    EXPECT_TRUE(zalX11WindowExists(handle));
    EXPECT_TRUE(dump(o).value("settings").toObject().value("renderPaused").toBool());
}

TEST_F(ViewerEmbedding, theViewerWindowOutlivesTheHostWindowThatEmbedsIt)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    // The render view inside a host window, as the host's view area holds it.
    auto* hostWindow = new QWidget;
    auto* layout = new QVBoxLayout(hostWindow);
    layout->addWidget(o.widget);
    hostWindow->resize(800, 600);
    hostWindow->show();
    embed(o);
    const unsigned long handle = o.widget->viewerWindow();
    ASSERT_TRUE(zalX11WindowExists(handle));
    const QList<pid_t> viewers = zalViewerChildren();
    // Held here, the session keeps its channel and so its viewer beyond the widget.
    zalDbUnrealRenderSessionPtr session(o.session);

    // Taking the host window down destroys its X window and every X child still in it.
    delete hostWindow;
    QCoreApplication::processEvents();
    EXPECT_TRUE(zalX11WindowExists(handle));
    EXPECT_EQ(zalX11Parent(handle), zalX11Root());
    EXPECT_EQ(session->widget(), nullptr);

    // Without its session the viewer ends with its channel.
    session.release();
    for (pid_t pid : viewers)
        EXPECT_TRUE(waitFor([&] { return !zalViewerChildren().contains(pid); }, kViewerTimeoutMs));
}

TEST_F(ViewerEmbedding, whenTheViewerProcessEndsTheHostDropsItAndKeepsRunning)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    embed(o);
    const QList<pid_t> viewers = zalViewerChildren();
    ASSERT_EQ(viewers.size(), 1);

    const WId window = o.widget->viewerWindow();
    ASSERT_NE(window, WId(0));
    XErrorsReported reported;

    ::kill(viewers.first(), SIGKILL);
    ASSERT_TRUE(waitFor([&] { return o.session->sender() == nullptr; }, kViewerTimeoutMs));
    EXPECT_EQ(o.widget->viewerWindow(), WId(0));
    EXPECT_EQ(o.session->viewerWindowHandle(), nullptr);
    // Dropping the ended viewer's window asks the X server to unmap a window that is gone. Qt's requests
    // are answered in order, so once an error about a window that never existed (the highest id of a
    // client slot Xvfb never gives out) is reported, any error about the viewer's window has been too.
    const WId never = 0x7fe00001;
    XErrorsReported::quiet = never;
    std::unique_ptr<QWindow> probe(QWindow::fromWinId(never));
    ASSERT_TRUE(probe);
    probe->show();
    ASSERT_TRUE(waitFor([&] { return !XErrorsReported::about(never).isEmpty(); }, kViewerTimeoutMs))
        << "no error reported about a window that does not exist";
    EXPECT_EQ(XErrorsReported::about(window), QStringList()) << "errors about the ended viewer's window";
    probe.reset();

    host->console()->queueAnswers({"stat fps"});
    EXPECT_EQ(host->console()->executeCommand("unrealcommand"), zalHostConsole::Done);
    addFace(db, 3.0);
    host->fireEvent("<event-refresh:view_changed>");
    o.widget->syncRenderCamera();
    spin(1000);
    EXPECT_EQ(o.session->sender(), nullptr);
    EXPECT_TRUE(zalViewerChildren().isEmpty());
}
