// A block definition: model space, paper space or a named block. Holds its entities in order.
// A record can stand for an external reference; it then knows the database loaded for it.
#pragma once

#include "DbObjectIterator.h"
#include "DbSymbolTableRecord.h"
#include "Ge/GeExtents3d.h"

#include <unordered_set>

class ODKIT_EXPORT OdDbBlockTableRecord : public OdDbSymbolTableRecord
{
public:
    ODRX_DECLARE_MEMBERS(OdDbBlockTableRecord);
    OdDbBlockTableRecord();
    ~OdDbBlockTableRecord() override;

    static const OdChar* modelSpaceName; // "*Model_Space"
    static const OdChar* paperSpaceName; // "*Paper_Space"

    // Appends the entity (record open for write; the entity must not be resident or be
    // resident in this record's database without an owner). Reactors get objectAppended; the
    // record itself does not count as modified. Entities without layer or material get the
    // database's current layer and the ByLayer material.
    OdDbObjectId appendOdDbEntity(OdDbEntity* entity);
    OdDbObjectIteratorPtr newIterator(bool atBeginning = true, bool skipErased = true) const;
    OdUInt32 numEntities(bool includeErased = false) const;

    OdGePoint3d origin() const;
    void setOrigin(const OdGePoint3d& origin);
    OdString comments() const;
    void setComments(const OdString& comments);
    bool isLayout() const;
    bool isAnonymous() const;
    bool isModelSpace() const;
    bool isPaperSpace() const;

    // External reference: a path and the database loaded for it (not owned; the host keeps
    // the xref database alive as long as the record refers to it).
    bool isFromExternalReference() const;
    OdString pathName() const;
    void setPathName(const OdString& path);
    OdDbDatabase* xrefDatabase(bool includeUnresolved = false) const;
    void setXrefDatabase(OdDbDatabase* xrefDb);

    // Block references that refer to this record (kept by the references themselves).
    void getBlockReferenceIds(OdDbObjectIdArray& ids, bool directOnly = true,
                              bool forceValidity = false) const;

    // Union of the extents of its entities; eInvalidExtents when none has geometry.
    OdResult getGeomExtents(OdGeExtents3d& extents) const;

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    friend class OdDbObjectAccess;
    // Whether id is in m_entities, without a scan: the set is built on the first question and kept up
    // with appends; dropped when the list is handed out for change or read anew.
    bool listsEntity(const OdDbObjectId& id) const;
    void forgetEntitySet() const { m_entitySetValid = false; }

    OdDbObjectIdArray m_entities;
    mutable std::unordered_set<OdDbStub*> m_entitySet;
    mutable bool m_entitySetValid = false;
    // In the order they came; m_referenceSet holds the same ids, so adding one checks for it at once.
    OdDbObjectIdArray m_references;
    std::unordered_set<OdDbStub*> m_referenceSet;
    OdGePoint3d m_origin;
    OdString m_comments;
    OdString m_pathName;
    OdDbDatabase* m_xrefDb = nullptr;
};
typedef OdSmartPtr<OdDbBlockTableRecord> OdDbBlockTableRecordPtr;
