// Loads modules by name. "X.dll", "X.tx" and "X" name the same module; it is first looked up
// among the built-in modules ("TD_Db", "TD_Root", ...), then as the shared library "X.so" or
// "libX.so" in the folders of ODKIT_MODULE_PATH (colon separated), the folder of the running
// executable and the folder of libodkit.so, in that order. The linker keeps a module loaded
// (and referenced) until unloadModule.
#pragma once

#include "OdArray.h"
#include "RxModule.h"

class ODKIT_EXPORT OdRxDynamicLinker : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdRxDynamicLinker);

    // Loads (once) and answers the module; initApp runs on the first load. Null when the
    // library is not found, lacks odrxCreateModuleObject, reports another major API version or
    // cannot be opened (lastError() tells why). An OdError raised by initApp propagates and
    // leaves the module unloaded.
    virtual OdRxModulePtr loadModule(const OdString& moduleName, bool silent = true) = 0;
    virtual OdRxModulePtr loadApp(const OdString& appName, bool silent = true) = 0;
    // Runs uninitApp and forgets the module; false when it is not loaded or refuses to unload.
    virtual bool unloadModule(const OdString& moduleName) = 0;
    virtual bool unloadApp(const OdString& appName) = 0;
    // The loaded module of that name without loading anything; null when not loaded.
    virtual OdRxModulePtr getModule(const OdString& moduleName) const = 0;
    virtual OdArray<OdString> loadedModuleNames() const = 0;
    // Path of the library file a module was loaded from (empty for built-ins).
    virtual OdString modulePath(const OdString& moduleName) const = 0;
    virtual OdString lastError() const = 0;
};
typedef OdSmartPtr<OdRxDynamicLinker> OdRxDynamicLinkerPtr;

ODKIT_EXPORT OdRxDynamicLinker* odrxDynamicLinker();

// Makes a module available by name without a library (built-in modules). The factory is called
// on the first load and hands over one reference to the new module.
typedef OdRxModule* (*OdRxStaticModuleFactory)();
ODKIT_EXPORT void odrxRegisterStaticModule(const OdString& moduleName, OdRxStaticModuleFactory factory);
