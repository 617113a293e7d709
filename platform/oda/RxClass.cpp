#include "RxClass.h"

#include "RxDictionary.h"

#include <map>
#include <mutex>

ODRX_NO_CONS_DEFINE_MEMBERS(OdRxClass, OdRxObject)

struct OdRxClass::Extensions
{
    std::mutex mutex;
    std::map<const OdRxClass*, OdRxObjectPtr> map;
};

OdRxClass::OdRxClass(const OdString& name, OdRxClass* parent, OdPseudoConstructorType constructor,
                     int dwgVersion, int maintVersion, int proxyFlags, const OdString& dxfName,
                     const OdString& appName, AppNameChangeFuncPtr appNameChange)
    : m_name(name), m_parent(parent), m_constructor(constructor), m_dwgVersion(dwgVersion),
      m_maintVersion(maintVersion), m_proxyFlags(proxyFlags), m_dxfName(dxfName), m_appName(appName),
      m_appNameChange(appNameChange), m_extensions(new Extensions)
{
}

OdRxClass::~OdRxClass()
{
    delete m_extensions;
}

// Classes live in the class dictionary until deleteOdRxClass; references do not own them.
void OdRxClass::addRef() {}
void OdRxClass::release() {}
long OdRxClass::numRefs() const
{
    return 1;
}

bool OdRxClass::isDerivedFrom(const OdRxClass* pClass) const
{
    for (const OdRxClass* c = this; c; c = c->m_parent)
        if (c == pClass) return true;
    return false;
}

OdRxObjectPtr OdRxClass::create() const
{
    if (!m_constructor) throw OdError(eNotApplicable, OdString(L"Class ") + m_name + L" has no constructor");
    OdRxObjectPtr obj = m_constructor();
    if (obj.isNull()) throw OdError(eNotApplicable, OdString(L"Class ") + m_name + L" is abstract");
    return obj;
}

OdRxObjectPtr OdRxClass::addX(const OdRxClass* protocolClass, OdRxObject* protocolObject)
{
    std::lock_guard<std::mutex> lock(m_extensions->mutex);
    OdRxObjectPtr& slot = m_extensions->map[protocolClass];
    OdRxObjectPtr previous = slot;
    slot = protocolObject;
    return previous;
}

OdRxObjectPtr OdRxClass::getX(const OdRxClass* protocolClass) const
{
    for (const OdRxClass* c = this; c; c = c->m_parent) {
        std::lock_guard<std::mutex> lock(c->m_extensions->mutex);
        auto it = c->m_extensions->map.find(protocolClass);
        if (it != c->m_extensions->map.end() && !it->second.isNull()) return it->second;
    }
    return OdRxObjectPtr();
}

OdRxObjectPtr OdRxClass::delX(const OdRxClass* protocolClass)
{
    std::lock_guard<std::mutex> lock(m_extensions->mutex);
    auto it = m_extensions->map.find(protocolClass);
    if (it == m_extensions->map.end()) return OdRxObjectPtr();
    OdRxObjectPtr previous = it->second;
    m_extensions->map.erase(it);
    return previous;
}

OdRxClass* newOdRxClass(const OdString& name, OdRxClass* parent, OdPseudoConstructorType constructor,
                        int dwgVersion, int maintVersion, int proxyFlags, const OdString& dxfName,
                        const OdString& appName, AppNameChangeFuncPtr appNameChange)
{
    OdRxDictionaryPtr classes = odrxClassDictionary();
    if (classes->has(name))
        throw OdError(eAlreadyRegistered, OdString(L"Class ") + name + L" is already registered");
    OdRxClass* c = new OdRxClass(name, parent, constructor, dwgVersion, maintVersion, proxyFlags, dxfName,
                                 appName, appNameChange);
    classes->putAt(name, c);
    return c;
}

void deleteOdRxClass(OdRxClass* pClass)
{
    OdRxDictionaryPtr classes = odrxClassDictionary();
    if (!pClass || classes->getAt(pClass->name()).get() != pClass) throw OdError(eNotRegistered);
    classes->remove(pClass->name());
    delete pClass;
}

OdRxClass* odrxFindClass(const OdString& name)
{
    return static_cast<OdRxClass*>(odrxClassDictionary()->getAt(name).get());
}
