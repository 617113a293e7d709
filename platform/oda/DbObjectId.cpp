#include "DbObjectId.h"

#include "DbObject.h"
#include "internal/DbImpl.h"

const OdDbObjectId OdDbObjectId::kNull;

bool OdDbObjectId::isValid() const
{
    return m_id && m_id->object;
}

bool OdDbObjectId::isErased() const
{
    return m_id && m_id->object && m_id->object->isErased();
}

OdDbDatabase* OdDbObjectId::database() const
{
    return m_id ? m_id->db : nullptr;
}

const OdDbHandle& OdDbObjectId::getHandle() const
{
    static const OdDbHandle nullHandle;
    return m_id ? m_id->handle : nullHandle;
}

OdResult OdDbObjectId::openObject(OdDbObjectPtr& object, OdDb::OpenMode openMode, bool openErased) const
{
    object.release();
    if (!m_id) return eNullObjectId;
    if (!m_id->object) return eKeyNotFound;
    if (m_id->object->isErased() && !openErased) return eWasErased;
    return OdDbObjectAccess::open(m_id->object, openMode, object);
}

OdDbObjectPtr OdDbObjectId::openObject(OdDb::OpenMode openMode, bool openErased) const
{
    OdDbObjectPtr object;
    openObject(object, openMode, openErased);
    return object;
}

OdDbObjectPtr OdDbObjectId::safeOpenObject(OdDb::OpenMode openMode, bool openErased) const
{
    OdDbObjectPtr object;
    OdResult res = openObject(object, openMode, openErased);
    if (res != eOk) throw OdError(res);
    return object;
}

bool OdDbObjectId::operator<(const OdDbObjectId& other) const
{
    if (m_id == other.m_id) return false;
    if (!m_id || !other.m_id) return !m_id;
    if (m_id->db != other.m_id->db) {
        OdUInt32 a = m_id->db ? OdDbObjectAccess::impl(m_id->db)->tag : 0;
        OdUInt32 b = other.m_id->db ? OdDbObjectAccess::impl(other.m_id->db)->tag : 0;
        return a < b;
    }
    return m_id->handle < other.m_id->handle;
}
