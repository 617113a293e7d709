#include "PropServices.h"

#include "PropBase.h"

#include "RxClass.h"
#include "RxDictionary.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdPropServices, OdRxObject)

namespace {

// The classes exist from the load of the library on, like the database layer's own.
struct PropClasses
{
    PropClasses()
    {
        if (!OdPropSource::desc()) OdPropSource::rxInit();
        if (!OdPropBase::desc()) OdPropBase::rxInit();
        if (!OdPropServices::desc()) OdPropServices::rxInit();
    }
    ~PropClasses()
    {
        if (OdPropServices::desc()) OdPropServices::rxUninit();
        if (OdPropBase::desc()) OdPropBase::rxUninit();
        if (OdPropSource::desc()) OdPropSource::rxUninit();
    }
};
PropClasses g_propClasses;

} // namespace

OdPropServices::OdPropServices() = default;
OdPropServices::~OdPropServices() = default;

bool OdPropServices::registerXmlProp(const OdString& className, const SourceConstructor& constructor,
                                     OdUInt32 flags)
{
    if (className.isEmpty() || !constructor) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_registrations.emplace(className, Registration{constructor, flags}).second;
}

bool OdPropServices::unregisterXmlProp(const OdString& className)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_registrations.erase(className) > 0;
}

bool OdPropServices::isXmlPropRegistered(const OdString& className) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_registrations.count(className) > 0;
}

OdUInt32 OdPropServices::xmlPropFlags(const OdString& className) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_registrations.find(className);
    return it == m_registrations.end() ? 0 : it->second.flags;
}

OdPropSourcePtr OdPropServices::createXmlPropSource(OdRxObject* object) const
{
    if (!object) return OdPropSourcePtr();
    SourceConstructor constructor;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (OdRxClass* cls = object->isA(); cls && !constructor; cls = cls->myParent()) {
            auto it = m_registrations.find(cls->name());
            if (it != m_registrations.end()) constructor = it->second.constructor;
        }
    }
    // Called outside the lock: a constructor may ask the services again.
    return constructor ? constructor(object) : OdPropSourcePtr();
}

OdPropServicesPtr odrxPropServices()
{
    OdRxObjectPtr entry = odrxSysRegistry()->getAt(OdString(OD_PROP_SERVICES));
    if (entry.isNull() || !OdPropServices::desc() || !entry->isKindOf(OdPropServices::desc()))
        return OdPropServicesPtr();
    return OdPropServicesPtr(static_cast<OdPropServices*>(entry.get()));
}
