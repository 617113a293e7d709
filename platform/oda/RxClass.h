// Run-time class: name, parent, pseudo-constructor and protocol extensions. Classes are
// registered in the class dictionary by newOdRxClass and removed by deleteOdRxClass; the
// dictionary holds them, desc() pointers stay valid until deleteOdRxClass.
#pragma once

#include "RxObject.h"

class OdRxModule;
typedef OdRxObjectPtr (*OdPseudoConstructorType)();

class ODKIT_EXPORT OdRxClass : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdRxClass);

    OdRxClass(const OdString& name, OdRxClass* parent, OdPseudoConstructorType constructor, int dwgVersion,
              int maintVersion, int proxyFlags, const OdString& dxfName, const OdString& appName,
              AppNameChangeFuncPtr appNameChange);
    ~OdRxClass() override;

    void addRef() override;
    void release() override;
    long numRefs() const override;

    // Run-time class name ("AcDbMaterial" for OdDbMaterial).
    const OdString& name() const { return m_name; }
    const OdString& dxfName() const { return m_dxfName; }
    const OdString& appName() const { return m_appName; }
    OdRxClass* myParent() const { return m_parent; }
    OdRxClass* parent() const { return m_parent; }
    bool isDerivedFrom(const OdRxClass* pClass) const;
    int proxyFlags() const { return m_proxyFlags; }
    int dwgVersion() const { return m_dwgVersion; }
    int maintenanceVersion() const { return m_maintVersion; }
    AppNameChangeFuncPtr appNameCallbackPtr() const { return m_appNameChange; }
    OdPseudoConstructorType constructor() const { return m_constructor; }
    void setConstructor(OdPseudoConstructorType constructor) { m_constructor = constructor; }

    // New instance through the pseudo-constructor; OdError(eNotApplicable) for an abstract class.
    OdRxObjectPtr create() const;

    // Protocol extensions: addX answers the previous extension for that protocol class.
    OdRxObjectPtr addX(const OdRxClass* protocolClass, OdRxObject* protocolObject);
    // Looks in this class, then in its parents.
    OdRxObjectPtr getX(const OdRxClass* protocolClass) const;
    OdRxObjectPtr delX(const OdRxClass* protocolClass);

private:
    struct Extensions;
    OdString m_name;
    OdRxClass* m_parent;
    OdPseudoConstructorType m_constructor;
    int m_dwgVersion;
    int m_maintVersion;
    int m_proxyFlags;
    OdString m_dxfName;
    OdString m_appName;
    AppNameChangeFuncPtr m_appNameChange;
    Extensions* m_extensions;
};

// Registers a class under name. OdError(eAlreadyRegistered) when the name is taken.
ODKIT_EXPORT OdRxClass* newOdRxClass(const OdString& name, OdRxClass* parent,
                                     OdPseudoConstructorType constructor = nullptr, int dwgVersion = 0,
                                     int maintVersion = 0, int proxyFlags = 0,
                                     const OdString& dxfName = OdString(),
                                     const OdString& appName = OdString(),
                                     AppNameChangeFuncPtr appNameChange = nullptr);
// Unregisters and destroys a class. OdError(eNotRegistered) when it is not registered.
ODKIT_EXPORT void deleteOdRxClass(OdRxClass* pClass);
// Registered class by name, null when none.
ODKIT_EXPORT OdRxClass* odrxFindClass(const OdString& name);
