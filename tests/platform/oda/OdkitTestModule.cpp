// A module in its own shared library, for the dynamic linker test.
#include "OdkitTestModuleCounters.h"
#include "RxDictionary.h"
#include "RxDynamicModule.h"

namespace {
OdkitTestModuleCounters* counters(const OdString& moduleName)
{
    OdRxObjectPtr entry = odrxSysRegistry()->getAt(OdString(L"OdkitTestModule.") + moduleName);
    return static_cast<OdkitTestModuleCounters*>(entry.get());
}
} // namespace

class OdkitTestModule : public OdRxModule
{
public:
    void initApp() override
    {
        if (OdkitTestModuleCounters* c = counters(moduleName())) ++c->initCount;
    }
    void uninitApp() override
    {
        if (OdkitTestModuleCounters* c = counters(moduleName())) ++c->uninitCount;
    }
};

ODRX_DEFINE_DYNAMIC_MODULE(OdkitTestModule)
