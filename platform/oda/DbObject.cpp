#include "DbObject.h"

#include "DbFiler.h"
#include "internal/DbDefine.h"
#include "internal/DbImpl.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbObject, OdGiDrawable, NO_CONSTR, L"AcDbObject", L"")

OdDbObject::OdDbObject() = default;
OdDbObject::~OdDbObject() = default;

void OdDbObject::addRef()
{
    ++m_refs;
}

void OdDbObject::release()
{
    long n = --m_refs;
    if (n == 0) {
        delete this;
        return;
    }
    // The database holds the last reference: the last opened pointer is gone, so the object
    // closes. A notifying object is being closed already.
    if (n == 1 && m_stub && m_openMode != OdDb::kNotOpen && m_openMode != OdDb::kForNotify)
        OdDbObjectAccess::close(this);
}

long OdDbObject::numRefs() const
{
    return m_refs;
}

OdDbObjectId OdDbObject::objectId() const
{
    return OdDbObjectId(m_stub);
}

void OdDbObject::setOwnerId(OdDbObjectId ownerId)
{
    assertWriteEnabled(false, false);
    m_ownerId = ownerId;
}

OdDbDatabase* OdDbObject::database() const
{
    return m_stub ? m_stub->db : nullptr;
}

OdDbHandle OdDbObject::getDbHandle() const
{
    return m_stub ? m_stub->handle : OdDbHandle();
}

OdResult OdDbObject::erase(bool erasing)
{
    if (!m_stub) return eNotInDatabase;
    assertWriteEnabled(false, false);
    if (m_erased == erasing) return eOk;
    OdResult res = subErase(erasing);
    if (res != eOk) return res;
    OdDbObjectAccess::setErased(this, erasing, true);
    return eOk;
}

OdResult OdDbObject::subErase(bool)
{
    return eOk;
}

bool OdDbObject::isReadEnabled() const
{
    return !m_stub || m_openMode != OdDb::kNotOpen;
}

bool OdDbObject::isWriteEnabled() const
{
    return !m_stub || m_openMode == OdDb::kForWrite;
}

bool OdDbObject::isNotifyEnabled() const
{
    return m_openMode == OdDb::kForNotify;
}

void OdDbObject::assertReadEnabled() const
{
    if (!isReadEnabled()) throw OdError(eNotOpenForRead);
}

void OdDbObject::assertWriteEnabled(bool autoUndo, bool recordModified)
{
    if (!m_stub) {
        if (recordModified) m_modified = true;
        return;
    }
    if (m_openMode != OdDb::kForWrite) throw OdError(eNotOpenForWrite);
    if (!recordModified) return;
    if (autoUndo) OdDbObjectAccess::fileBeforeWrite(this);
    m_modified = true;
    if (!m_openedForModify) {
        m_openedForModify = true;
        OdDbDatabase* db = m_stub->db;
        OdDbObjectAccess::impl(db)->notify(
            db, [&](OdDbDatabaseReactor* r) { r->objectOpenedForModify(db, this); });
    }
}

void OdDbObject::assertNotifyEnabled() const
{
    if (m_stub && m_openMode == OdDb::kNotOpen) throw OdError(eInvalidOpenState);
}

void OdDbObject::upgradeOpen()
{
    if (!m_stub) return;
    if (m_erased) throw OdError(eWasErased);
    if (m_openMode == OdDb::kNotOpen || m_openMode == OdDb::kForNotify) throw OdError(eInvalidOpenState);
    m_openMode = OdDb::kForWrite;
}

void OdDbObject::downgradeOpen()
{
    if (!m_stub || m_openMode != OdDb::kForWrite) return;
    if (m_modified) OdDbObjectAccess::notifyModified(this);
    m_modified = false;
    m_openedForModify = false;
    m_openMode = OdDb::kForRead;
}

OdResult OdDbObject::dwgInFields(OdDbDwgFiler* filer)
{
    assertWriteEnabled();
    m_ownerId = filer->rdSoftPointerId();
    return eOk;
}

void OdDbObject::dwgOutFields(OdDbDwgFiler* filer) const
{
    assertReadEnabled();
    filer->wrSoftPointerId(m_ownerId);
}

OdUInt32 OdDbObject::subSetAttributes(OdGiDrawableTraits*) const
{
    return kDrawableNone;
}
