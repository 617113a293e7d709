#include "OdkitTestModuleCounters.h"
#include "odkit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
OdSmartPtr<OdkitTestModuleCounters> installCounters(const OdString& moduleName)
{
    OdSmartPtr<OdkitTestModuleCounters> c = OdRxObjectImpl<OdkitTestModuleCounters>::createObject();
    odrxSysRegistry()->putAt(OdString(L"OdkitTestModule.") + moduleName, c);
    return c;
}

std::string binDir()
{
    const char* dir = std::getenv("ZAL_BIN_DIR");
    if (dir) return dir;
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    buf[n > 0 ? n : 0] = '\0';
    return fs::path(buf).parent_path().string();
}
} // namespace

TEST(OdkitLinker, LoadsModuleByNameRunsInitAppOnceAndUninitAppOnUnload)
{
    auto counters = installCounters(L"OdkitTestModule");
    OdRxDynamicLinker* linker = odrxDynamicLinker();
    EXPECT_TRUE(linker->getModule(L"OdkitTestModule.dll").isNull()) << "getModule must not load";
    EXPECT_EQ(counters->initCount, 0);

    OdRxModulePtr first = linker->loadModule(L"OdkitTestModule.dll");
    ASSERT_FALSE(first.isNull()) << linker->lastError().toUtf8();
    EXPECT_EQ(counters->initCount, 1);
    EXPECT_EQ(first->moduleName(), OdString(L"OdkitTestModule"));
    EXPECT_NE(first->sysData(), nullptr) << "the library handle is kept in the module";
    EXPECT_NE(linker->modulePath(L"OdkitTestModule").find(L"libOdkitTestModule.so"), -1);

    // Loaded again (with and without the extension): the same module, initApp not repeated.
    OdRxModulePtr second = linker->loadModule(L"OdkitTestModule");
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(linker->getModule(L"OdkitTestModule.dll").get(), first.get());
    EXPECT_EQ(counters->initCount, 1);
    EXPECT_EQ(counters->uninitCount, 0);
    EXPECT_TRUE(linker->loadedModuleNames().contains(L"OdkitTestModule"));

    EXPECT_TRUE(linker->unloadModule(L"OdkitTestModule.dll"));
    EXPECT_EQ(counters->uninitCount, 1);
    EXPECT_TRUE(linker->getModule(L"OdkitTestModule").isNull());
    EXPECT_FALSE(linker->unloadModule(L"OdkitTestModule.dll")) << "a second unload has nothing to do";
    EXPECT_EQ(counters->uninitCount, 1);

    // Loading after an unload starts the module again.
    OdRxModulePtr again = linker->loadModule(L"OdkitTestModule.dll");
    ASSERT_FALSE(again.isNull());
    EXPECT_EQ(counters->initCount, 2);
    EXPECT_TRUE(linker->unloadModule(L"OdkitTestModule"));
    EXPECT_EQ(counters->uninitCount, 2);
    odrxSysRegistry()->remove(L"OdkitTestModule.OdkitTestModule");
}

TEST(OdkitLinker, SearchesTheFoldersOfOdkitModulePathFirst)
{
    fs::path dir = fs::temp_directory_path() / ("odkit-linker-" + std::to_string(getpid()));
    fs::create_directories(dir);
    // A copy under another name is another library file, so it is mapped on its own.
    fs::copy_file(fs::path(binDir()) / "libOdkitTestModule.so", dir / "OdkitPathModule.so",
                  fs::copy_options::overwrite_existing);
    std::string path = "/nonexistent-odkit-folder:" + dir.string();
    setenv("ODKIT_MODULE_PATH", path.c_str(), 1);

    auto counters = installCounters(L"OdkitPathModule");
    OdRxModulePtr module = odrxDynamicLinker()->loadModule(L"OdkitPathModule.dll");
    ASSERT_FALSE(module.isNull()) << odrxDynamicLinker()->lastError().toUtf8();
    EXPECT_EQ(counters->initCount, 1);
    EXPECT_EQ(odrxDynamicLinker()->modulePath(L"OdkitPathModule"),
              OdString::fromUtf8((dir / "OdkitPathModule.so").string()));
    EXPECT_TRUE(odrxDynamicLinker()->unloadModule(L"OdkitPathModule"));
    EXPECT_EQ(counters->uninitCount, 1);

    unsetenv("ODKIT_MODULE_PATH");
    odrxSysRegistry()->remove(L"OdkitTestModule.OdkitPathModule");
    fs::remove_all(dir);
}

TEST(OdkitLinker, MissingModuleAnswersNullAndSaysWhy)
{
    OdRxModulePtr module = odrxDynamicLinker()->loadModule(L"NoSuchOdkitModule.dll");
    EXPECT_TRUE(module.isNull());
    EXPECT_NE(odrxDynamicLinker()->lastError().find(L"NoSuchOdkitModule"), -1);
    EXPECT_TRUE(odrxDynamicLinker()->getModule(L"NoSuchOdkitModule").isNull());
}

TEST(OdkitLinker, LibraryWithoutEntryPointIsRefused)
{
    fs::path dir = fs::temp_directory_path() / ("odkit-linker-bad-" + std::to_string(getpid()));
    fs::create_directories(dir);
    // A real shared library that lacks odrxCreateModuleObject.
    fs::path plain = fs::path(binDir()) / "libOdkitNotAModule.so";
    ASSERT_TRUE(fs::exists(plain));
    fs::copy_file(plain, dir / "NotAModule.so", fs::copy_options::overwrite_existing);
    setenv("ODKIT_MODULE_PATH", dir.string().c_str(), 1);
    OdRxModulePtr module = odrxDynamicLinker()->loadModule(L"NotAModule.dll");
    unsetenv("ODKIT_MODULE_PATH");
    EXPECT_TRUE(module.isNull());
    EXPECT_NE(odrxDynamicLinker()->lastError().find(L"odrxCreateModuleObject"), -1);
    fs::remove_all(dir);
}

TEST(OdkitLinker, BuiltInDatabaseModuleLoadsByItsSdkName)
{
    OdRxModulePtr db = odrxDynamicLinker()->loadModule(L"TD_Db.dll");
    ASSERT_FALSE(db.isNull());
    EXPECT_EQ(odrxDynamicLinker()->getModule(L"TD_Db").get(), db.get());
    EXPECT_TRUE(odrxDynamicLinker()->modulePath(L"TD_Db").isEmpty());
    EXPECT_TRUE(odrxDynamicLinker()->getModule(L"ModelerGeometry").isNull());
}

// An initApp that fails leaves the module unloaded and the error reaches the caller.
class FailingModule : public OdRxModule
{
public:
    void initApp() override { throw OdError(eInitFailed); }
    void uninitApp() override {}
};

TEST(OdkitLinker, InitAppFailurePropagatesAndLeavesModuleUnloaded)
{
    odrxRegisterStaticModule(L"OdkitFailingModule",
                             []() -> OdRxModule* { return new OdRxObjectImpl<FailingModule>(); });
    try {
        odrxDynamicLinker()->loadModule(L"OdkitFailingModule.dll");
        FAIL() << "initApp's error was swallowed";
    } catch (const OdError& e) {
        EXPECT_EQ(e.code(), eInitFailed);
        EXPECT_EQ(int(e.code()), 436);
    }
    EXPECT_TRUE(odrxDynamicLinker()->getModule(L"OdkitFailingModule").isNull());
}
