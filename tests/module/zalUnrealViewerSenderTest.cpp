// The viewer sender: executable search, configured versions, window handles across sessions and
// the first commands of a fresh viewer.
#include "module/zalModuleContext.h"
#include "module/zalSessionRegistry.h"
#include "tests/common/zalModuleTestHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

class ViewerSender : public zalModuleTestHost
{
};

TEST_F(ViewerSender, versionsFollowTheConfiguredViewerGeneration)
{
    const struct
    {
        int value;
        const char* version;
        bool tessellation;
    } rows[] = {{4, "4.27", true}, {5, "5.0EA", false}, {51, "5.1D", false}, {55, "", false}, {6, "", false}};
    for (const auto& row : rows) {
        setVariable("Vars/UEVersion", row.value);
        EXPECT_EQ(module->viewerVersion(), QString(row.version)) << row.value;
        EXPECT_EQ(module->supportTessellation(), row.tessellation) << row.value;
    }
}

TEST_F(ViewerSender, theLauncherTakesTheFirstViewerThatExistsUe5ShippingFirstUe4Last)
{
    QTemporaryDir app;
    ASSERT_TRUE(app.isValid());
    const QString ue5 = app.path() + "/zalUnrealViewerResources/UE5/zalViewer/Binaries/Win64/zalViewer";
    const QString ue4 = app.path() + "/zalUnrealViewerResources/UE4/zalViewer/Binaries/Win64/zalViewer";
    auto create = [](const QString& path) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };

    // Nothing installed: the last resort is the UE4 ".exe".
    bool launchedUe5 = true;
    EXPECT_EQ(zalUnrealViewerSender::viewerExecutable(5, &launchedUe5, app.path()), ue4 + ".exe");
    EXPECT_FALSE(launchedUe5);

    // Each file created beats the ones created before it, in the launcher's order.
    const struct
    {
        QString file;
        bool ue5;
    } steps[] = {{ue4 + ".exe", false},
                 {ue4 + "-Win64-Shipping.exe", false},
                 {ue5 + ".exe", true},
                 {ue5 + "-Win64-Shipping.exe", true}};
    for (const auto& step : steps) {
        create(step.file);
        for (int version : {4, 5, 51}) {
            launchedUe5 = !step.ue5;
            EXPECT_EQ(zalUnrealViewerSender::viewerExecutable(version, &launchedUe5, app.path()), step.file)
                << version;
            EXPECT_EQ(launchedUe5, step.ue5) << step.file.toStdString();
        }
    }
}

TEST_F(ViewerSender, ue5ConfiguredWithoutUe5StartsUe4AndForcesRayTracingEffects)
{
    setVariable("Vars/UEVersion", 5);
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    ASSERT_EQ(o.recorder->lines("startRender").size(), 1);
    EXPECT_TRUE(field(o.recorder->lines("startRender").first(), "executable")
                    .contains("/zalUnrealViewerResources/UE4/zalViewer/Binaries/Win64/zalViewer"));
    EXPECT_FALSE(o.session->context()->ue5ViewerLaunched());
    EXPECT_TRUE(o.recorder->consoleCommands().contains("r.raytracing.ForceAllRayTracingEffects"));
}

TEST_F(ViewerSender, aRunningViewerIsNotStartedAgain)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    ASSERT_EQ(o.recorder->lines("startRender").size(), 1);
    EXPECT_FALSE(o.session->sender()->startViewer(0, 0, 100, 100));
    EXPECT_EQ(o.recorder->lines("startRender").size(), 1);
}

TEST_F(ViewerSender, eachHandleGoesToTheSessionThatEnteredTheWaitListLast)
{
    OdDbDatabasePtr first = newDrawing();
    OdDbDatabasePtr second = newDrawing();
    Opened a = open(first);
    Opened b = open(second);
    ASSERT_NE(a.recorder, b.recorder);
    startViewer(a);
    startViewer(b);
    {
        QMutexLocker lock(&zalSessionRegistry::instance().windowHandleMutex());
        ASSERT_EQ(zalSessionRegistry::instance().windowHandleWaitList(),
                  QList<zalDbUnrealRenderSession*>({a.session, b.session}));
    }

    // Delivered on the transport's own thread, as a real channel does.
    a.recorder->simulateWindowHandle(0x1001);
    EXPECT_EQ(b.session->viewerWindowHandle(), reinterpret_cast<void*>(0x1001));
    EXPECT_EQ(a.session->viewerWindowHandle(), nullptr);
    b.recorder->simulateWindowHandle(0x1002);
    EXPECT_EQ(a.session->viewerWindowHandle(), reinterpret_cast<void*>(0x1002));

    // An empty wait list stores nothing.
    a.recorder->simulateWindowHandle(0x1003);
    EXPECT_EQ(a.session->viewerWindowHandle(), reinterpret_cast<void*>(0x1002));
    EXPECT_EQ(b.session->viewerWindowHandle(), reinterpret_cast<void*>(0x1001));
}

TEST_F(ViewerSender, aClosedViewLeavesTheWaitListAndAnExitClearsTheHandle)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    startViewer(o);
    host->viewSystem()->closeView(o.view);
    QCoreApplication::processEvents();
    {
        QMutexLocker lock(&zalSessionRegistry::instance().windowHandleMutex());
        EXPECT_TRUE(zalSessionRegistry::instance().windowHandleWaitList().isEmpty());
    }

    OdDbDatabasePtr other = newDrawing();
    Opened p = open(other);
    bringUp(p);
    ASSERT_NE(p.session->viewerWindowHandle(), nullptr);
    p.recorder->simulateViewerExit(0);
    ASSERT_TRUE(waitFor([&] { return p.session->viewerWindowHandle() == nullptr; }));
}

TEST_F(ViewerSender, firstCommandsPauseAHiddenWidgetsViewer)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    o.widget->show();
    startViewer(o);
    o.recorder->simulateWindowHandle(0x2001);
    ASSERT_TRUE(waitFor([&] { return o.widget->viewerWindow() == WId(0x2001); }));
    // Hidden between the capture and the first commands.
    o.widget->hide();
    ASSERT_TRUE(waitFor([&] { return o.recorder->consoleCommands().contains("spawneruseinstances 1"); }));
    const QStringList lines = o.recorder->lines();
    const int commands = indexOf(lines, "sendConsoleCommand command=\"spawneruseinstances 1\"");
    const int paused = indexOf(lines, "setRenderPaused", commands);
    ASSERT_GT(paused, commands);
    EXPECT_EQ(lines.at(paused), "setRenderPaused paused=true");
}

TEST_F(ViewerSender, theFirstRunMountsTheNaturePacksThatExistAndCallsTheFollowUp)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    const QStringList paks = o.session->sender()->naturePackPaks();
    ASSERT_EQ(paks.size(), 2);
    for (const QString& pak : paks)
        EXPECT_TRUE(pak.contains("/Resources/") && pak.endsWith(".pak")) << pak.toStdString();
    // A slot of the receiver, called queued once the first run is over.
    QObject* watcher = new QObject;
    o.widget->setPendingFollowUp(watcher, "deleteLater");
    QPointer<QObject> watched(watcher);
    // Only the first pack is installed.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(paks[0]).absolutePath()));
    {
        QFile pak(paks[0]);
        ASSERT_TRUE(pak.open(QIODevice::WriteOnly));
        pak.write("pak");
    }
    ASSERT_FALSE(QFileInfo::exists(paks[1]));
    bringUp(o);
    ASSERT_TRUE(waitFor([&] { return watched.isNull(); }));
    const QStringList mounted = o.recorder->lines("mountExternalPak");
    ASSERT_EQ(mounted.size(), 1) << mounted.join('\n').toStdString();
    EXPECT_TRUE(mounted[0].contains(paks[0])) << mounted[0].toStdString();
    // Mounted before the first run's refresh.
    const QStringList lines = o.recorder->lines();
    EXPECT_LT(lines.indexOf(mounted[0]), indexOf(lines, "beginTransaction name=\"refresh\""));
}
