// Base of every database object. An object made with createObject belongs to its creator until
// it is added to a database; from then on the database holds it and it is reached by opening
// its id. Opening hands out a smart pointer; the object closes when the last pointer other than
// the database's own is released (so a pointer kept elsewhere keeps the object open). Changes need the object
// open for write (setters call assertWriteEnabled), and closing or downgrading an object changed while open
// for write notifies the database's reactors (objectModified). Objects outside a database are always readable
// and writable.
#pragma once

#include "DbObjectId.h"
#include "GiDrawable.h"

#include <atomic>

class OdDbDwgFiler;
class OdDbObjectAccess;

class ODKIT_EXPORT OdDbObject : public OdGiDrawable
{
public:
    ODRX_DECLARE_MEMBERS(OdDbObject);
    OdDbObject();
    ~OdDbObject() override;

    void addRef() final;
    void release() final;
    long numRefs() const final;

    OdDbObjectId objectId() const;
    OdDbObjectId ownerId() const { return m_ownerId; }
    virtual void setOwnerId(OdDbObjectId ownerId);
    OdDbDatabase* database() const;
    OdDbHandle getDbHandle() const;
    OdDbHandle handle() const { return getDbHandle(); }
    // Database resident.
    bool isDBRO() const { return m_stub != nullptr; }

    bool isErased() const { return m_erased; }
    // Erases (or with false un-erases) the object; needs it open for write. The database's
    // reactors get objectErased with the new state. eOk also when the state does not change.
    OdResult erase(bool erasing = true);

    OdDb::OpenMode openMode() const { return m_openMode; }
    bool isReadEnabled() const;
    bool isWriteEnabled() const;
    bool isNotifyEnabled() const;
    bool isNotifying() const { return m_openMode == OdDb::kForNotify; }
    // Changed since it was opened for write.
    bool isModified() const { return m_modified; }
    bool isNewObject() const { return m_new; }

    // Raise OdError(eNotOpenForRead / eNotOpenForWrite) when the open mode does not allow it.
    // assertWriteEnabled with recordModified marks the object changed.
    void assertReadEnabled() const;
    void assertWriteEnabled(bool autoUndo = true, bool recordModified = true);
    void assertNotifyEnabled() const;
    // Read to write; eWasErased for an erased object.
    void upgradeOpen();
    // Write to read; notifies objectModified first when the object was changed.
    void downgradeOpen();

    // Own fields only; subclasses call the parent first, then write theirs.
    virtual OdResult dwgInFields(OdDbDwgFiler* filer);
    virtual void dwgOutFields(OdDbDwgFiler* filer) const;
    OdResult dwgIn(OdDbDwgFiler* filer) { return dwgInFields(filer); }
    void dwgOut(OdDbDwgFiler* filer) const { dwgOutFields(filer); }

    bool isPersistent() const override { return isDBRO(); }
    OdDbStub* id() const override { return m_stub; }

protected:
    // Hook before the erase state changes; a result other than eOk stops the erase.
    virtual OdResult subErase(bool erasing);
    OdUInt32 subSetAttributes(OdGiDrawableTraits* traits) const override;

private:
    friend class OdDbObjectAccess;
    std::atomic<long> m_refs{1};
    OdDbStub* m_stub = nullptr;
    OdDbObjectId m_ownerId;
    OdDb::OpenMode m_openMode = OdDb::kNotOpen;
    bool m_erased = false;
    bool m_modified = false;
    bool m_new = true;
    bool m_openedForModify = false;
};
