#include "RxInit.h"

#include "DbCommandContext.h"
#include "DbDwgMemoryFiler.h"
#include "Ed/EdCommandStack.h"
#include "RxDynamicLinker.h"
#include "RxInit.h"
#include "odkit.h"

#include <mutex>

namespace {

// Built-in modules: the SDK's libraries are part of odkit, so loading them by name succeeds.
class BuiltInModule : public OdRxModule
{
public:
    void initApp() override {}
    void uninitApp() override {}
};

OdRxModule* createBuiltInModule()
{
    return new OdRxObjectImpl<BuiltInModule>();
}

std::mutex g_initMutex;
int g_initCount = 0;
bool g_dbRegistered = false;

void registerCore()
{
    OdRxObject::g_pDesc = newOdRxClass(L"OdRxObject", nullptr);
    OdRxClass::rxInit();
    OdRxIterator::rxInit();
    OdRxDictionaryIterator::rxInit();
    OdRxDictionary::rxInit();
    OdRxModule::rxInit();
    OdRxDynamicLinker::rxInit();
    OdGiDrawable::rxInit();
    OdEdCommand::rxInit();
    OdEdCommandStack::rxInit();
    OdEdCommandStackReactor::rxInit();
    OdEdUserIO::rxInit();
    OdEdCommandContext::rxInit();
    OdEdInputTracker::rxInit();
    OdEdPointTracker::rxInit();
    for (const OdChar* name : {L"TD_Db", L"TD_DbCore", L"TD_DbEntities", L"TD_DbRoot", L"TD_Root", L"TD_Ge",
                               L"TD_Gi", L"TD_Gs", L"TD_Alloc"})
        odrxRegisterStaticModule(name, &createBuiltInModule);
}

// Parents before children.
void registerDb()
{
    OdDbDwgFiler::rxInit();
    OdDbDwgMemoryFiler::rxInit();
    OdDbUnitsFormatter::rxInit();
    OdDbDatabaseReactor::rxInit();
    OdDbDatabase::rxInit();
    OdDbObject::rxInit();
    OdDbEntity::rxInit();
    OdDbSymbolTableRecord::rxInit();
    OdDbSymbolTable::rxInit();
    OdDbSymbolTableIterator::rxInit();
    OdDbObjectIterator::rxInit();
    OdDbDictionaryIterator::rxInit();
    OdDbBlockTableRecord::rxInit();
    OdDbBlockTable::rxInit();
    OdDbBlockReference::rxInit();
    OdDbLayerTableRecord::rxInit();
    OdDbLayerTable::rxInit();
    OdDbAbstractViewTableRecord::rxInit();
    OdDbViewportTableRecord::rxInit();
    OdDbViewportTable::rxInit();
    OdDbDictionary::rxInit();
    OdDbMaterial::rxInit();
    OdDbLight::rxInit();
    OdDbField::rxInit();
    OdDbUserIO::rxInit();
    OdDbCommandContext::rxInit();
}

// Children before parents.
void unregisterDb()
{
    OdDbCommandContext::rxUninit();
    OdDbUserIO::rxUninit();
    OdDbField::rxUninit();
    OdDbLight::rxUninit();
    OdDbMaterial::rxUninit();
    OdDbDictionary::rxUninit();
    OdDbViewportTable::rxUninit();
    OdDbViewportTableRecord::rxUninit();
    OdDbAbstractViewTableRecord::rxUninit();
    OdDbLayerTable::rxUninit();
    OdDbLayerTableRecord::rxUninit();
    OdDbBlockReference::rxUninit();
    OdDbBlockTable::rxUninit();
    OdDbBlockTableRecord::rxUninit();
    OdDbDictionaryIterator::rxUninit();
    OdDbObjectIterator::rxUninit();
    OdDbSymbolTableIterator::rxUninit();
    OdDbSymbolTable::rxUninit();
    OdDbSymbolTableRecord::rxUninit();
    OdDbEntity::rxUninit();
    OdDbObject::rxUninit();
    OdDbDatabase::rxUninit();
    OdDbDatabaseReactor::rxUninit();
    OdDbUnitsFormatter::rxUninit();
    OdDbDwgMemoryFiler::rxUninit();
    OdDbDwgFiler::rxUninit();
}

// The runtime is up as soon as the library is loaded.
struct LoadTimeRegistration
{
    LoadTimeRegistration()
    {
        // A second copy of the library in the process finds the classes of the first.
        if (odrxFindClass(L"OdRxObject")) return;
        registerCore();
        registerDb();
        g_dbRegistered = true;
    }
} g_loadTimeRegistration;

} // namespace

void odInitialize(OdDbSystemServices*)
{
    std::lock_guard<std::mutex> lock(g_initMutex);
    ++g_initCount;
    if (!g_dbRegistered) {
        registerDb();
        g_dbRegistered = true;
    }
}

void odUninitialize()
{
    std::lock_guard<std::mutex> lock(g_initMutex);
    if (g_initCount > 0) --g_initCount;
    if (g_initCount == 0 && g_dbRegistered) {
        unregisterDb();
        g_dbRegistered = false;
    }
}

bool odIsInitialized()
{
    std::lock_guard<std::mutex> lock(g_initMutex);
    return g_dbRegistered;
}
