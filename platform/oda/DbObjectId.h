// Identifier of a database object: stable for the lifetime of its database, cheap to copy.
// The object behind it is reached by opening it.
#pragma once

#include "DbEnums.h"
#include "DbHandle.h"
#include "OdArray.h"
#include "SmartPtr.h"

class OdDbObject;
typedef OdSmartPtr<OdDbObject> OdDbObjectPtr;

class ODKIT_EXPORT OdDbObjectId
{
public:
    OdDbObjectId() = default;
    OdDbObjectId(OdDbStub* stub) : m_id(stub) {}
    static const OdDbObjectId kNull;

    bool isNull() const { return m_id == nullptr; }
    void setNull() { m_id = nullptr; }
    // Non-null and its database still holds an object for it.
    bool isValid() const;
    bool isErased() const;
    bool isEffectivelyErased() const { return isErased(); }
    OdDbDatabase* database() const;
    OdDbDatabase* originalDatabase() const { return database(); }
    const OdDbHandle& getHandle() const;
    OdDbHandle handle() const { return getHandle(); }

    // Null pointer when the id is null, the object is erased (unless openErased) or gone.
    OdDbObjectPtr openObject(OdDb::OpenMode openMode = OdDb::kForRead, bool openErased = false) const;
    OdResult openObject(OdDbObjectPtr& object, OdDb::OpenMode openMode = OdDb::kForRead,
                        bool openErased = false) const;
    // As openObject, but raises OdError (eNullObjectId, eWasErased, eKeyNotFound) instead of
    // answering null.
    OdDbObjectPtr safeOpenObject(OdDb::OpenMode openMode = OdDb::kForRead, bool openErased = false) const;

    operator OdDbStub*() const { return m_id; }
    bool operator==(const OdDbObjectId& other) const { return m_id == other.m_id; }
    bool operator!=(const OdDbObjectId& other) const { return m_id != other.m_id; }
    bool operator<(const OdDbObjectId& other) const;
    bool operator!() const { return isNull(); }

private:
    OdDbStub* m_id = nullptr;
};

typedef OdArray<OdDbObjectId> OdDbObjectIdArray;
