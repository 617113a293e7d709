#include "tests/common/zalTestHost.h"

#include "IzalAppProps.h"
#include "IzalApplication.h"
#include "IzalConsole.h"
#include "IzalPhysicsMaterialsModule.h"
#include "IzalProjectManager.h"
#include "IzalTerrainModellerModule.h"
#include "IzalViewSystem.h"
#include "zalHostAppProps.h"
#include "zalHostConsole.h"
#include "zalHostProgressIndicator.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"
#include "zalHostViewerMonitor.h"
#include "zalStrings.h"

#include "XoRemoteRenderSender.h"

#include "DbDatabase.h"
#include "OdVariant.h"
#include "RxDynamicLinker.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

TEST(zalHostServices, allServicesAnswerUnderTheirIds)
{
    zalTestHost host;
    ASSERT_EQ(zalApp(), static_cast<IzalApplication*>(host.app()));
    EXPECT_NE(zalService<IzalConsole>(IzalConsole_id), nullptr);
    EXPECT_NE(zalService<IzalAppProps>(IzalAppProps_id), nullptr);
    EXPECT_NE(zalService<IzalViewSystem>(IzalViewSystem_id), nullptr);
    EXPECT_NE(zalService<IzalProjectManager>(IzalProjectManager_id), nullptr);
    EXPECT_NE(zalService<IzalPhysicsMaterialsModule>(IzalPhysicsMaterialsModule_id), nullptr);
    EXPECT_NE(zalService<IzalTerrainModellerModule>(IzalTerrainModellerModule_id), nullptr);
    // An id names one service; asking for another interface gives nothing.
    EXPECT_EQ(zalService<IzalConsole>(IzalAppProps_id), nullptr);
    EXPECT_EQ(zalService<IzalConsole>("zal.INothing"), nullptr);
}

TEST(zalHostServices, leftOutServicesAreAbsent)
{
    zalTestHost host(zalHostOptions::Console | zalHostOptions::TerrainModeller);
    EXPECT_NE(zalService<IzalConsole>(IzalConsole_id), nullptr);
    EXPECT_NE(zalService<IzalTerrainModellerModule>(IzalTerrainModellerModule_id), nullptr);
    EXPECT_EQ(zalService<IzalAppProps>(IzalAppProps_id), nullptr);
    EXPECT_EQ(zalService<IzalViewSystem>(IzalViewSystem_id), nullptr);
    EXPECT_EQ(zalService<IzalProjectManager>(IzalProjectManager_id), nullptr);
    EXPECT_EQ(zalService<IzalPhysicsMaterialsModule>(IzalPhysicsMaterialsModule_id), nullptr);
    EXPECT_EQ(host.app()->serviceIds().size(), 2);
}

TEST(zalHostServices, noHostNoApplication)
{
    EXPECT_EQ(zalApp(), nullptr);
    EXPECT_EQ(zalService<IzalConsole>(IzalConsole_id), nullptr);
}

TEST(zalHostServices, moduleServiceRegistersAndUnregisters)
{
    zalTestHost host(0);
    IzalApplication* app = zalApp();
    QObject module;
    QObject intruder;
    EXPECT_TRUE(app->registerService("zal.IUnrealRender", &module));
    EXPECT_EQ(app->service("zal.IUnrealRender"), &module);
    EXPECT_TRUE(app->registerService("zal.IUnrealRender", &module));
    EXPECT_FALSE(app->registerService("zal.IUnrealRender", &intruder));
    EXPECT_FALSE(app->registerService("", &intruder));
    EXPECT_FALSE(app->registerService("zal.X", nullptr));
    EXPECT_FALSE(app->unregisterService("zal.IUnrealRender", &intruder));
    EXPECT_TRUE(app->unregisterService("zal.IUnrealRender", &module));
    EXPECT_EQ(app->service("zal.IUnrealRender"), nullptr);
    EXPECT_FALSE(app->unregisterService("zal.IUnrealRender", &module));
}

TEST(zalHostServices, destroyedServiceIsGone)
{
    zalTestHost host(0);
    auto* module = new QObject;
    ASSERT_TRUE(zalApp()->registerService("zal.IUnrealRender", module));
    delete module;
    EXPECT_EQ(zalApp()->service("zal.IUnrealRender"), nullptr);
    QObject next;
    EXPECT_TRUE(zalApp()->registerService("zal.IUnrealRender", &next));
}

class zalHostVariables : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    QString ini() const { return folder.filePath("settings/vars.ini"); }
};

TEST_F(zalHostVariables, missingIntegerGivesTheDefault)
{
    zalTestHost host(zalHostOptions::AppProps, ini());
    auto* props = zalService<IzalAppProps>(IzalAppProps_id);
    ASSERT_NE(props, nullptr);
    EXPECT_EQ(props->intVariable(OdString("Vars/UEVersion"), 0), 0);
    EXPECT_EQ(props->intVariable(OdString("Vars/UEVersion"), 7), 7);
}

TEST_F(zalHostVariables, createdVariableSurvivesTheHost)
{
    {
        zalTestHost host(zalHostOptions::AppProps, ini());
        auto* props = zalService<IzalAppProps>(IzalAppProps_id);
        ASSERT_TRUE(
            props->createVariable(OdString("Vars/UEVersion"), OdVariant(OdInt32(4)), OdString("int")));
        EXPECT_EQ(props->intVariable(OdString("Vars/UEVersion"), 0), 4);
    }
    ASSERT_TRUE(QFile::exists(ini()));
    {
        zalTestHost host(zalHostOptions::AppProps, ini());
        auto* props = zalService<IzalAppProps>(IzalAppProps_id);
        EXPECT_EQ(props->intVariable(OdString("Vars/UEVersion"), 0), 4);
        EXPECT_EQ(host.app()->appProps()->variableType("Vars/UEVersion"), "int");
        ASSERT_TRUE(
            props->createVariable(OdString("Vars/UEVersion"), OdVariant(OdInt32(5)), OdString("int")));
    }
    zalTestHost host(zalHostOptions::AppProps, ini());
    EXPECT_EQ(zalService<IzalAppProps>(IzalAppProps_id)->intVariable(OdString("Vars/UEVersion"), 0), 5);
}

TEST_F(zalHostVariables, fileIsPlainIni)
{
    {
        zalTestHost host(zalHostOptions::AppProps, ini());
        ASSERT_TRUE(host.app()->appProps()->setVariable("Vars/UEPathTracerProduction", 1, "int"));
    }
    QSettings file(ini(), QSettings::IniFormat);
    EXPECT_EQ(file.value("Vars/UEPathTracerProduction").toInt(), 1);
}

TEST_F(zalHostVariables, nonIntegerReadsAsDefault)
{
    zalTestHost host(zalHostOptions::AppProps, ini());
    zalHostAppProps* props = host.app()->appProps();
    ASSERT_TRUE(props->setVariable("Vars/Name", "viewer", "string"));
    EXPECT_EQ(props->intVariable(OdString("Vars/Name"), 3), 3);
    ASSERT_TRUE(props->setVariable("Vars/Scale", 2.5, "double"));
    EXPECT_DOUBLE_EQ(props->variable("Vars/Scale").toDouble(), 2.5);
}

TEST_F(zalHostVariables, badValuesAreRefused)
{
    zalTestHost host(zalHostOptions::AppProps, ini());
    zalHostAppProps* props = host.app()->appProps();
    EXPECT_FALSE(props->setVariable("Vars/UEVersion", "five", "int"));
    EXPECT_FALSE(props->setVariable("Vars/UEVersion", 5, "colour"));
    EXPECT_FALSE(props->setVariable("", 5, "int"));
    EXPECT_FALSE(props->hasVariable("Vars/UEVersion"));
}

TEST_F(zalHostVariables, unwritableFileIsReported)
{
    QFile blocker(folder.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // A folder path below a plain file cannot be made.
    zalTestHost host(zalHostOptions::AppProps, folder.filePath("file/vars.ini"));
    EXPECT_FALSE(host.app()->appProps()->setVariable("Vars/UEVersion", 4, "int"));
}

TEST(zalHostUnits, conversionFactorsBetweenUnitCodes)
{
    zalTestHost host(0);
    IzalApplication* app = zalApp();
    EXPECT_DOUBLE_EQ(app->unitConversionFactor(4, 6), 0.001);  // mm → m
    EXPECT_DOUBLE_EQ(app->unitConversionFactor(1, 6), 0.0254); // in → m
    EXPECT_DOUBLE_EQ(app->unitConversionFactor(6, 5), 100.0);  // m → cm
    EXPECT_DOUBLE_EQ(app->unitConversionFactor(2, 1), 12.0);   // ft → in
    EXPECT_DOUBLE_EQ(app->unitConversionFactor(0, 6), 1.0);    // undefined
    EXPECT_DOUBLE_EQ(app->unitConversionFactor(6, 99), 1.0);   // unknown code
}

TEST(zalHostFiles, saveFileNamesComeFromTheQueueThenCancel)
{
    zalTestHost host(0);
    host.app()->queueSaveFileNames({host.filePath("a.png")});
    IzalApplication* app = zalApp();
    EXPECT_EQ(
        app->saveFileName("Png Image *.png|Jpeg Image *.jpg", "renderImage.png", "*.png", "Export Image"),
        host.filePath("a.png"));
    EXPECT_EQ(app->saveFileName("Png Image *.png", "renderImage.png", "*.png", "Export Image"), QString());
}

TEST(zalHostFiles, waitForFileSeesAFileWrittenLater)
{
    zalTestHost host(0);
    const QString path = host.filePath("shot.png");
    QTimer::singleShot(50, [path]() {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("png");
    });
    EXPECT_TRUE(zalApp()->waitForFile(path, 60000));
    EXPECT_FALSE(zalApp()->waitForFile(host.filePath("never.png"), 100));
    EXPECT_FALSE(zalApp()->waitForFile(QString(), 100));
}

TEST(zalHostProgress, indicatorLivesUntilTheCallerDeletesIt)
{
    zalTestHost host(0);
    QObject* indicator = zalApp()->createProgressIndicator("Synchronizing Scene", nullptr);
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(host.app()->progressIndicatorCount(), 1);
    EXPECT_EQ(qobject_cast<zalHostProgressIndicator*>(indicator)->title(), "Synchronizing Scene");
    delete indicator;
    EXPECT_EQ(host.app()->progressIndicatorCount(), 0);
}

TEST(zalHostProgress, dialogCountsWhatTheViewersGainWhileItIsOpen)
{
    QTemporaryDir folder;
    zalHostOptions options = zalTestHost::options(folder);
    options.interactive = true;
    const std::unique_ptr<zalHostApplication> host = zalTestHost::make(options);
    zalHostApplication& app = *host;
    // The host watches every sender of the channel library through its monitor.
    ASSERT_EQ(XoRemoteRenderSender::monitor(), app.viewerMonitor());

    auto* indicator =
        qobject_cast<zalHostProgressIndicator*>(app.createProgressIndicator("Synchronizing Scene", nullptr));
    ASSERT_NE(indicator, nullptr);
    ASSERT_TRUE(indicator->isDialogShown());
    XoRemoteRenderSender::monitor()->contentSent(7, 3, 0);
    XoRemoteRenderSender::monitor()->contentSent(7, 0, 1200);
    EXPECT_EQ(indicator->sentEntities(), 3u);
    EXPECT_EQ(indicator->sentTriangles(), 1200u);
    // The first report is shown at once; later ones at most every 100 ms.
    EXPECT_TRUE(indicator->dialogText().startsWith("Synchronizing Scene\n3 entities, "))
        << indicator->dialogText().toStdString();
    delete indicator;
    // Nothing is left listening once the work has ended.
    XoRemoteRenderSender::monitor()->contentSent(7, 1, 1);
}

TEST(zalStrings, qtAndDrawingStringsRoundTrip)
{
    const QString text = QString::fromUtf8("Synchronizing Scene – Größe ✓");
    EXPECT_EQ(zalStrings::toQString(zalStrings::toOdString(text)), text);
    EXPECT_EQ(zalStrings::toQString(OdString()), QString());
}

TEST(zalHostSiblings, siblingModulesLoadThroughTheLinker)
{
    for (const char* name : {"zalProjectManagerEx.dll", "zalOdViewSystem.dll"}) {
        OdRxModulePtr module = odrxDynamicLinker()->loadModule(OdString(name));
        ASSERT_FALSE(module.isNull()) << name << ": " << odrxDynamicLinker()->lastError().toUtf8();
        // Loading again answers the module already loaded.
        EXPECT_EQ(odrxDynamicLinker()->loadModule(OdString(name)).get(), module.get());
        EXPECT_FALSE(odrxDynamicLinker()->modulePath(OdString(name)).isEmpty());
    }
}

TEST(zalHostSiblings, hostLoadsAndUnloadsModulesByName)
{
    zalTestHost host(0);
    QString error;
    EXPECT_TRUE(host.app()->loadModule("zalOdViewSystem.dll", &error)) << error.toStdString();
    EXPECT_TRUE(host.app()->unloadModule("zalOdViewSystem.dll"));
    EXPECT_FALSE(host.app()->unloadModule("zalOdViewSystem.dll"));
    EXPECT_FALSE(host.app()->loadModule("zalNoSuchModule.dll", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(zalHostPlugin, moduleReachesTheHostThroughItsInterfaces)
{
    zalTestHost host;
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    host.app()->addDocument(db.get());
    QString error;
    ASSERT_TRUE(host.app()->loadModule("zalHostTestModule.dll", &error)) << error.toStdString();

    QObject* service = zalApp()->service("zal.ITestModule");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->objectName(), "zalHostTestModuleService");
    ASSERT_TRUE(host.app()->viewSystem()->hasViewType("TestView"));
    zalHostView* view = host.app()->viewSystem()->openView("TestView", db.get());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->widget()->objectName(), "zalHostTestModuleView");
    host.app()->viewSystem()->closeView(view);

    host.app()->console()->queueAnswers({"stat unit"});
    EXPECT_EQ(host.app()->console()->executeCommand("zalhost_module_echo"), zalHostConsole::Done);
    EXPECT_TRUE(host.app()->console()->transcript().contains("echo stat unit"));

    ASSERT_TRUE(host.app()->unloadModule("zalHostTestModule.dll"));
    EXPECT_EQ(zalApp()->service("zal.ITestModule"), nullptr);
    EXPECT_FALSE(host.app()->viewSystem()->hasViewType("TestView"));
    EXPECT_EQ(host.app()->console()->executeCommand("zalhost_module_echo"), zalHostConsole::UnknownCommand);
}
