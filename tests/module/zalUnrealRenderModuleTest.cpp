// The module as a plug-in: loaded by name by a host, started and stopped.
#include "module/zalUnrealRenderModule.h"
#include "tests/common/zalTestHost.h"

#include "zalHostAppProps.h"
#include "zalHostApplication.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderSender.h"

#include "DbDatabase.h"
#include "Ed/EdCommandStack.h"
#include "OdError.h"
#include "OdVariant.h"
#include "RxDynamicLinker.h"
#include "RxInit.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

const OdString kModule(L"zalUnrealRenderModule.dll");
const QStringList kCommands = {"unrealcommand", "unrealoutliner", "unrealpostprocess", "unrealcameramode",
                               "fountain_create"};

// One host per test, with its variables and project folders in a temporary folder.
class ModuleEntry : public ::testing::Test
{
protected:
    void startHost(int services = zalHostOptions::AllServices)
    {
        host = zalTestHost::make(zalTestHost::options(dir, services));
    }
    void TearDown() override
    {
        odrxDynamicLinker()->unloadModule(kModule);
        host.reset();
    }
    IzalUnrealRenderModule* service() const
    {
        return qobject_cast<IzalUnrealRenderModule*>(host->service("zal.IUnrealRender"));
    }
    QStringList commandsInGroup() const
    {
        QStringList names;
        for (const OdEdCommandPtr& command : odedRegCmds()->groupCommands(OdString(L"UnrealViewer")))
            names << QString::fromStdWString(command->globalName().c_str());
        return names;
    }

    QTemporaryDir dir;
    std::unique_ptr<zalHostApplication> host;
};

TEST_F(ModuleEntry, loadsByNameRegistersEverythingAndUnloadRemovesIt)
{
    startHost();
    ASSERT_FALSE(odrxDynamicLinker()->loadModule(kModule).isNull())
        << QString::fromStdWString(odrxDynamicLinker()->lastError().c_str()).toStdString();

    ASSERT_NE(service(), nullptr);
    zalHostViewSystem* views = host->viewSystem();
    ASSERT_TRUE(views->hasViewType("UnrealRender"));
    EXPECT_EQ(views->viewTypeTitle("UnrealRender"), "Navigation");
    EXPECT_EQ(commandsInGroup(), kCommands);
    // The service is the module object itself.
    EXPECT_NE(dynamic_cast<zalUnrealRenderModule*>(service()), nullptr);
    // The headless host asks the service by name whether the viewer is up to date (the interface's
    // slots are fixed); with no drawing open there is no viewer to be up to date.
    auto* object = dynamic_cast<QObject*>(service());
    ASSERT_NE(object, nullptr);
    bool upToDate = true;
    EXPECT_TRUE(QMetaObject::invokeMethod(object, "isViewerUpToDate", Qt::DirectConnection,
                                          Q_RETURN_ARG(bool, upToDate)));
    EXPECT_FALSE(upToDate);

    ASSERT_TRUE(odrxDynamicLinker()->unloadModule(kModule));
    EXPECT_EQ(host->service("zal.IUnrealRender"), nullptr);
    EXPECT_FALSE(views->hasViewType("UnrealRender"));
    EXPECT_TRUE(commandsInGroup().isEmpty());
    EXPECT_TRUE(odedRegCmds()->lookupCmd(OdString(L"unrealcommand")).isNull());
}

TEST_F(ModuleEntry, entryPointsAreExportedAndTheModuleObjectIsASingleton)
{
    startHost();
    ASSERT_FALSE(odrxDynamicLinker()->loadModule(kModule).isNull());
    std::string path = odrxDynamicLinker()->modulePath(kModule).toUtf8();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr) << path;

    auto create = reinterpret_cast<OdRxModule* (*)(void*)>(dlsym(library, "odrxCreateModuleObject"));
    auto version = reinterpret_cast<int (*)(int&, int&, int&, int&)>(dlsym(library, "odrxGetAPIVersion"));
    ASSERT_NE(create, nullptr);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(create(nullptr), create(nullptr));
    EXPECT_EQ(create(nullptr), odrxDynamicLinker()->getModule(kModule).get());

    int major = -1, minor = -1, majorBuild = -1, minorBuild = -1;
    EXPECT_EQ(version(major, minor, majorBuild, minorBuild), 0);
    EXPECT_EQ(major, 24);
    EXPECT_EQ(minor, 1);
    EXPECT_EQ(majorBuild, 0);
    EXPECT_EQ(minorBuild, 0);
    dlclose(library);
}

TEST_F(ModuleEntry, viewerVersionVariableIsCreatedOnceAndKeptWhenSet)
{
    startHost();
    ASSERT_EQ(host->appProps()->intVariable(OdString(L"Vars/UEVersion"), 0), 0);
    ASSERT_FALSE(odrxDynamicLinker()->loadModule(kModule).isNull());
    EXPECT_EQ(host->appProps()->intVariable(OdString(L"Vars/UEVersion"), 0), 4);
    odrxDynamicLinker()->unloadModule(kModule);

    host->appProps()->createVariable(OdString(L"Vars/UEVersion"), OdVariant(OdInt32(5)), OdString(L"int"));
    ASSERT_FALSE(odrxDynamicLinker()->loadModule(kModule).isNull());
    EXPECT_EQ(host->appProps()->intVariable(OdString(L"Vars/UEVersion"), 0), 5);
    EXPECT_EQ(service()->viewerVersion(), "5.0EA");
}

TEST_F(ModuleEntry, startWithoutDatabaseRuntimeFailsWith436)
{
    startHost();
    odUninitialize();
    OdResult code = eOk;
    try {
        odrxDynamicLinker()->loadModule(kModule);
    } catch (const OdError& error) {
        code = error.code();
    }
    odInitialize();
    EXPECT_EQ(code, eInitFailed);
    // Nothing after the failing step ran.
    EXPECT_FALSE(host->viewSystem()->hasViewType("UnrealRender"));
    EXPECT_TRUE(commandsInGroup().isEmpty());
}

TEST_F(ModuleEntry, missingViewSystemSkipsTheViewTypeAndMissingVariablesFail)
{
    startHost(zalHostOptions::AllServices & ~zalHostOptions::ViewSystem);
    ASSERT_FALSE(odrxDynamicLinker()->loadModule(kModule).isNull());
    EXPECT_NE(service(), nullptr);
    EXPECT_EQ(commandsInGroup(), kCommands);
    ASSERT_TRUE(odrxDynamicLinker()->unloadModule(kModule));
    EXPECT_TRUE(commandsInGroup().isEmpty());
    host.reset();

    startHost(zalHostOptions::AllServices & ~zalHostOptions::AppProps);
    OdResult code = eOk;
    try {
        odrxDynamicLinker()->loadModule(kModule);
    } catch (const OdError& error) {
        code = error.code();
    }
    EXPECT_EQ(code, eInitFailed);
    EXPECT_EQ(host->service("zal.IUnrealRender"), nullptr);
}

TEST_F(ModuleEntry, consoleCommandNeedsDatabaseSessionAndStartedViewer)
{
    auto* recording = new XoRecordingMessagesManager;
    std::shared_ptr<bool> handedOut = std::make_shared<bool>(false);
    // The first sender gets the recording transport; a second one would get a fresh one.
    XoRemoteRenderSender::setDefaultTransportFactory([recording, handedOut]() {
        if (*handedOut) return std::unique_ptr<XoInterProcessMessagesManager>(new XoRecordingMessagesManager);
        *handedOut = true;
        return std::unique_ptr<XoInterProcessMessagesManager>(recording);
    });

    startHost();
    ASSERT_FALSE(odrxDynamicLinker()->loadModule(kModule).isNull());
    IzalUnrealRenderModule* module = service();

    // No current drawing.
    module->sendViewerConsoleCommand("stat fps");
    EXPECT_FALSE(module->isActive());

    // A drawing without a render view: no session.
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    host->addDocument(db);
    module->sendViewerConsoleCommand("stat fps");
    EXPECT_EQ(module->activeWidget(), nullptr);

    // A render view whose viewer has not started.
    ASSERT_NE(host->viewSystem()->openView("UnrealRender", db), nullptr);
    EXPECT_TRUE(module->isActive());
    module->sendViewerConsoleCommand("stat fps");
    EXPECT_TRUE(recording->consoleCommands().isEmpty());

    // Once the viewer announces itself the text goes out unchanged.
    recording->simulateViewerStarted();
    QCoreApplication::processEvents();
    module->sendViewerConsoleCommand("stat fps");
    EXPECT_EQ(recording->consoleCommands().filter("stat fps"), QStringList{"stat fps"});

    host->viewSystem()->closeView(host->viewSystem()->view(db));
    XoRemoteRenderSender::setDefaultTransportFactory({});
}

} // namespace
