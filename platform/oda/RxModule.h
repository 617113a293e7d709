// A run-time module: a unit loaded by the dynamic linker. initApp runs once after loading,
// uninitApp when the module is unloaded.
#pragma once

#include "RxObject.h"

class ODKIT_EXPORT OdRxModule : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdRxModule);

    virtual void initApp() = 0;
    virtual void uninitApp() = 0;
    virtual bool isValidToUnload() const { return true; }
    // Name the linker knows the module by (without ".dll" / ".so").
    virtual OdString moduleName() const;
    // Handle the module was created with (the dlopen handle of its library, null for built-ins).
    virtual void* sysData() { return nullptr; }

    // Set by the linker when it registers the module.
    void setModuleName(const OdString& name) { m_moduleName = name; }

private:
    OdString m_moduleName;
};
typedef OdSmartPtr<OdRxModule> OdRxModulePtr;
