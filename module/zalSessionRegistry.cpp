#include "module/zalSessionRegistry.h"

zalSessionRegistry& zalSessionRegistry::instance()
{
    static zalSessionRegistry registry;
    return registry;
}

zalDbUnrealRenderSession* zalSessionRegistry::sessionFor(OdDbDatabase* db) const
{
    if (!db) return nullptr;
    auto it = m_sessions.find(db);
    return it == m_sessions.end() ? nullptr : it->second;
}
