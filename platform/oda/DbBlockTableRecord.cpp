#include "DbBlockTableRecord.h"

#include "DbBlockReference.h"
#include "DbDatabase.h"
#include "DbFilerArrays.h"
#include "RxObjectImpl.h"
#include "internal/DbDefine.h"
#include "internal/DbImpl.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbBlockTableRecord, OdDbSymbolTableRecord, DBOBJECT_CONSTR, L"AcDbBlockTableRecord",
                        L"BLOCK_RECORD")
ODRX_NO_CONS_DEFINE_MEMBERS(OdDbObjectIterator, OdRxObject)

const OdChar* OdDbBlockTableRecord::modelSpaceName = L"*Model_Space";
const OdChar* OdDbBlockTableRecord::paperSpaceName = L"*Paper_Space";

namespace {
// Walks a snapshot of the ids, so appending while iterating is safe.
class EntityIterator : public OdDbObjectIterator
{
public:
    void init(const OdDbObjectIdArray& ids, bool atBeginning, bool skipErased)
    {
        m_ids = ids;
        start(atBeginning, skipErased);
    }
    void start(bool atBeginning, bool skipErased) override
    {
        m_pos = atBeginning ? 0 : int(m_ids.size()) - 1;
        skip(atBeginning, skipErased);
    }
    bool done() const override { return m_pos < 0 || m_pos >= int(m_ids.size()); }
    void step(bool forward, bool skipErased) override
    {
        if (done()) return;
        m_pos += forward ? 1 : -1;
        skip(forward, skipErased);
    }
    OdDbObjectId objectId() const override { return done() ? OdDbObjectId() : m_ids[OdUInt32(m_pos)]; }
    OdDbEntityPtr entity(OdDb::OpenMode mode, bool openErased) override
    {
        return OdDbEntityPtr(objectId().openObject(mode, openErased));
    }
    bool seek(const OdDbObjectId& id) override
    {
        OdDbObjectIdArray::size_type i;
        if (!m_ids.find(id, i)) return false;
        m_pos = int(i);
        return true;
    }

private:
    void skip(bool forward, bool skipErased)
    {
        while (!done() &&
               (!m_ids[OdUInt32(m_pos)].isValid() || (skipErased && m_ids[OdUInt32(m_pos)].isErased())))
            m_pos += forward ? 1 : -1;
    }
    OdDbObjectIdArray m_ids;
    int m_pos = 0;
};
} // namespace

OdDbBlockTableRecord::OdDbBlockTableRecord() = default;
OdDbBlockTableRecord::~OdDbBlockTableRecord() = default;

OdDbObjectId OdDbBlockTableRecord::appendOdDbEntity(OdDbEntity* entity)
{
    // Holding entities is not a change of the record's own data: no objectModified for it.
    assertWriteEnabled(false, false);
    if (!entity) throw OdError(eNullObjectPointer);
    OdDbDatabase* db = database();
    if (!db) throw OdError(eNotInDatabase);
    OdDbObjectId id;
    // Only an entity this block already owns can be in its list: a new one has just got its id, and one
    // without an owner belongs to no block. So the list is searched only for that rare case.
    bool mayBeListed = false;
    if (entity->isDBRO()) {
        if (entity->database() != db) throw OdError(eWrongDatabase);
        if (!entity->ownerId().isNull() && entity->ownerId() != objectId())
            throw OdError(eInvalidInput, L"The entity belongs to another block");
        mayBeListed = entity->ownerId() == objectId();
        OdDbObjectAccess::setOwner(entity, objectId());
        id = entity->objectId();
    } else {
        // Entities without a layer or material get the database's defaults.
        if (entity->layerId().isNull()) entity->setLayer(db->getCLAYER());
        if (entity->materialId().isNull()) entity->setMaterial(db->byLayerMaterialId());
        if (OdDbBlockReference* ref = dynamic_cast<OdDbBlockReference*>(entity)) {
            OdDbObjectId block = ref->blockTableRecord();
            id = OdDbObjectAccess::add(db, entity, objectId(), OdDbHandle());
            OdDbObjectAccess::addReference(block, id);
        } else {
            id = OdDbObjectAccess::add(db, entity, objectId(), OdDbHandle());
        }
    }
    if (!mayBeListed || !listsEntity(id)) {
        m_entities.append(id);
        if (m_entitySetValid) m_entitySet.insert(id);
    }
    return id;
}

bool OdDbBlockTableRecord::listsEntity(const OdDbObjectId& id) const
{
    if (!m_entitySetValid) {
        m_entitySet.clear();
        m_entitySet.reserve(m_entities.size());
        for (const OdDbObjectId& listed : m_entities)
            m_entitySet.insert(listed);
        m_entitySetValid = true;
    }
    return m_entitySet.count(id) != 0;
}

OdDbObjectIteratorPtr OdDbBlockTableRecord::newIterator(bool atBeginning, bool skipErased) const
{
    assertReadEnabled();
    OdSmartPtr<EntityIterator> it = OdRxObjectImpl<EntityIterator>::createObject();
    it->init(m_entities, atBeginning, skipErased);
    return OdDbObjectIteratorPtr(it.get());
}

OdUInt32 OdDbBlockTableRecord::numEntities(bool includeErased) const
{
    assertReadEnabled();
    OdUInt32 n = 0;
    for (const OdDbObjectId& id : m_entities)
        if (id.isValid() && (includeErased || !id.isErased())) ++n;
    return n;
}

OdGePoint3d OdDbBlockTableRecord::origin() const
{
    assertReadEnabled();
    return m_origin;
}

void OdDbBlockTableRecord::setOrigin(const OdGePoint3d& origin)
{
    assertWriteEnabled();
    m_origin = origin;
}

OdString OdDbBlockTableRecord::comments() const
{
    assertReadEnabled();
    return m_comments;
}

void OdDbBlockTableRecord::setComments(const OdString& comments)
{
    assertWriteEnabled();
    m_comments = comments;
}

bool OdDbBlockTableRecord::isModelSpace() const
{
    return getName().iCompare(modelSpaceName) == 0;
}

bool OdDbBlockTableRecord::isPaperSpace() const
{
    return getName().left(12).iCompare(paperSpaceName) == 0;
}

bool OdDbBlockTableRecord::isLayout() const
{
    return isModelSpace() || isPaperSpace();
}

bool OdDbBlockTableRecord::isAnonymous() const
{
    OdString name = getName();
    return !isLayout() && name.getLength() > 0 && name.getAt(0) == L'*';
}

bool OdDbBlockTableRecord::isFromExternalReference() const
{
    assertReadEnabled();
    return !m_pathName.isEmpty() || m_xrefDb != nullptr;
}

OdString OdDbBlockTableRecord::pathName() const
{
    assertReadEnabled();
    return m_pathName;
}

void OdDbBlockTableRecord::setPathName(const OdString& path)
{
    assertWriteEnabled();
    m_pathName = path;
}

OdDbDatabase* OdDbBlockTableRecord::xrefDatabase(bool) const
{
    assertReadEnabled();
    return m_xrefDb;
}

void OdDbBlockTableRecord::setXrefDatabase(OdDbDatabase* xrefDb)
{
    assertWriteEnabled();
    m_xrefDb = xrefDb;
}

void OdDbBlockTableRecord::getBlockReferenceIds(OdDbObjectIdArray& ids, bool, bool) const
{
    assertReadEnabled();
    ids.clear();
    for (const OdDbObjectId& id : m_references)
        if (id.isValid() && !id.isErased()) ids.append(id);
}

OdResult OdDbBlockTableRecord::getGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    OdGeExtents3d result;
    for (const OdDbObjectId& id : m_entities) {
        OdDbObjectPtr obj = id.openObject();
        if (obj.isNull()) continue;
        OdGeExtents3d e;
        if (static_cast<OdDbEntity*>(obj.get())->getGeomExtents(e) == eOk) result.addExt(e);
    }
    if (!result.isValidExtents()) return eInvalidExtents;
    extents = result;
    return eOk;
}

OdResult OdDbBlockTableRecord::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbSymbolTableRecord::dwgInFields(filer);
    if (res != eOk) return res;
    m_origin = filer->rdPoint3d();
    m_comments = filer->rdString();
    m_pathName = filer->rdString();
    // The membership set is rebuilt from the list read back on its next use.
    forgetEntitySet();
    return odDbReadArray(filer, m_entities, &OdDbDwgFiler::rdHardOwnershipId);
}

void OdDbBlockTableRecord::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbSymbolTableRecord::dwgOutFields(filer);
    filer->wrPoint3d(m_origin);
    filer->wrString(m_comments);
    filer->wrString(m_pathName);
    odDbWriteArray(filer, m_entities, &OdDbDwgFiler::wrHardOwnershipId);
}
