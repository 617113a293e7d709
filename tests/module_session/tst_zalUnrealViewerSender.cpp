// The viewer sender: executable search, configured versions, window handles across sessions and
// the first commands of a fresh viewer.
#include "zalSessionTestHost.h"

#include <QFileInfo>

class ViewerSender : public zalSessionTestHost
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

TEST_F(ViewerSender, theLauncherTriesUe5ThenUe4UnderTheApplicationFolder)
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QString ue5 = dir + "/zalUnrealViewerResources/UE5/zalViewer/Binaries/Win64/zalViewer";
    const QString ue4 = dir + "/zalUnrealViewerResources/UE4/zalViewer/Binaries/Win64/zalViewer";
    EXPECT_EQ(
        zalUnrealViewerSender::viewerExecutableCandidates(5),
        QStringList({ue5 + "-Win64-Shipping.exe", ue5 + ".exe", ue4 + "-Win64-Shipping.exe", ue4 + ".exe"}));
    EXPECT_EQ(zalUnrealViewerSender::viewerExecutableCandidates(55).size(), 5);

    // This build has no UE5 viewer: every configured version falls back to UE4.
    ASSERT_FALSE(QFileInfo::exists(ue5 + "-Win64-Shipping.exe"));
    ASSERT_FALSE(QFileInfo::exists(ue5 + ".exe"));
    const QString expected =
        QFileInfo::exists(ue4 + "-Win64-Shipping.exe") ? ue4 + "-Win64-Shipping.exe" : ue4 + ".exe";
    for (int version : {4, 5, 51, 55}) {
        bool ue5Launched = true;
        EXPECT_EQ(zalUnrealViewerSender::viewerExecutable(version, &ue5Launched), expected) << version;
        EXPECT_FALSE(ue5Launched) << version;
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
    EXPECT_FALSE(zalUnrealRenderModule::ue5ViewerLaunched());
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
        QMutexLocker lock(&zalUnrealRenderModule::windowHandleMutex());
        ASSERT_EQ(zalUnrealRenderModule::windowHandleWaitList(),
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
        QMutexLocker lock(&zalUnrealRenderModule::windowHandleMutex());
        EXPECT_TRUE(zalUnrealRenderModule::windowHandleWaitList().isEmpty());
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
    const QStringList paks = zalUnrealViewerSender::naturePackPaks();
    ASSERT_EQ(paks.size(), 2);
    for (const QString& pak : paks)
        EXPECT_TRUE(pak.contains("/Resources/") && pak.endsWith(".pak")) << pak.toStdString();

    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    // A slot of the receiver, called queued once the first run is over.
    QObject* watcher = new QObject;
    o.widget->setPendingFollowUp(watcher, "deleteLater");
    QPointer<QObject> watched(watcher);
    bringUp(o);
    ASSERT_TRUE(waitFor([&] { return watched.isNull(); }));
    // Without an asset library on this machine nothing exists to mount.
    if (!QFileInfo::exists(paks[0]) && !QFileInfo::exists(paks[1])) {
        EXPECT_TRUE(o.recorder->lines("mountExternalPak").isEmpty());
    }
}
