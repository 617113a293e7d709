// The drawing database. OdDbDatabase::createObject() gives a database with its standard
// contents: block table with "*Model_Space" and "*Paper_Space", layer table with "0", viewport
// table with "*Active", the named objects dictionary with the material dictionary
// ("ACAD_MATERIAL") holding "ByBlock", "ByLayer" and "Global", and the header variables.
// Objects are added with addOdDbObject, appendOdDbEntity (block records), add (tables) and
// setAt (dictionaries); the database then holds them until it is destroyed.
#pragma once

#include "DbDatabaseReactor.h"
#include "DbEnums.h"
#include "DbObjectId.h"
#include "DbUnitsFormatter.h"
#include "RxObject.h"

#include <functional>

class OdDbObject;

class ODKIT_EXPORT OdDbDatabase : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbDatabase);
    OdDbDatabase();
    ~OdDbDatabase() override;

    // Small integer unique among the databases of the process, from 1.
    OdUInt32 tag() const;

    OdDbObjectId getBlockTableId() const;
    OdDbObjectId getLayerTableId() const;
    OdDbObjectId getViewportTableId() const;
    OdDbObjectId getNamedObjectsDictionaryId() const;
    OdDbObjectId getMaterialDictionaryId() const;
    OdDbObjectId getModelSpaceId() const;
    OdDbObjectId getPaperSpaceId() const;
    OdDbObjectId getLayerZeroId() const;
    OdDbObjectId byLayerMaterialId() const;
    OdDbObjectId byBlockMaterialId() const;
    OdDbObjectId globalMaterialId() const;
    // The "*Active" viewport record.
    OdDbObjectId activeViewportId() const;
    // The current space (model space unless set to paper space).
    OdDbObjectId getActiveLayoutBTRId() const;
    void setActiveLayoutBTRId(const OdDbObjectId& blockId);
    // For a database loaded for an external reference: the xref block of the host database.
    OdDbObjectId xrefBlockId() const;
    void setXrefBlockId(const OdDbObjectId& blockId);

    // Adds an object (not resident yet) with the given owner; answers its new id. The object
    // is then open for write for its creator. Reactors get objectAppended.
    OdDbObjectId addOdDbObject(OdDbObject* object, OdDbObjectId ownerId = OdDbObjectId::kNull,
                               OdDbHandle handle = OdDbHandle());
    // Id of a handle; null when the database has no such handle.
    OdDbObjectId getOdDbObjectId(const OdDbHandle& handle, bool createIfNotFound = false) const;
    OdDbHandle handseed() const;
    // Raises the next free handle to seed (never lowers it), so handles a file holds stay free.
    void setHandseed(const OdDbHandle& seed);
    // The next object added without a handle of its own gets this one when it is free (once).
    void setNextHandle(const OdDbHandle& handle);

    void addReactor(OdDbDatabaseReactor* reactor);
    void removeReactor(OdDbDatabaseReactor* reactor);
    bool hasReactor(const OdDbDatabaseReactor* reactor) const;

    // Calls visitor with the id of every non-erased entity of every block table record
    // (model space first, then the other records in table order).
    void visitEntities(const std::function<void(const OdDbObjectId& entityId)>& visitor) const;

    // Header variables.
    OdDb::UnitsValue getINSUNITS() const;
    void setINSUNITS(OdDb::UnitsValue units);
    OdInt16 getLUNITS() const;
    void setLUNITS(OdInt16 lunits);
    OdInt16 getLUPREC() const;
    void setLUPREC(OdInt16 precision);
    OdInt16 getAUNITS() const;
    void setAUNITS(OdInt16 aunits);
    OdInt16 getAUPREC() const;
    void setAUPREC(OdInt16 precision);
    OdDb::MeasurementValue getMEASUREMENT() const;
    void setMEASUREMENT(OdDb::MeasurementValue value);
    OdDbObjectId getCLAYER() const;
    void setCLAYER(const OdDbObjectId& layerId);
    OdInt16 getCVPORT() const;
    void setCVPORT(OdInt16 number);
    bool getTILEMODE() const;
    void setTILEMODE(bool value);

    // Formatter that follows LUNITS/LUPREC/AUNITS/AUPREC of this database.
    OdDbUnitsFormatter& formatter();
    const OdDbUnitsFormatter& formatter() const;

    OdString getFilename() const;
    void setFilename(const OdString& fileName);

    // Undo: startUndoRecord opens a step; within it, appends, erasures and the fields of each object
    // before its first write are filed. undo takes the last step back (appended objects are
    // un-appended, erased states and filed fields restored, reactors notified), redo does it again.
    void disableUndoRecording(bool disable);
    void startUndoRecord();
    bool hasUndo() const;
    void undo();
    bool hasRedo() const;
    void redo();
    // Where the drawing stands in its undo history. Undo and redo come back to an earlier position;
    // any new change leaves it for good (one nothing records as well, since undo cannot take it back).
    struct UndoPosition
    {
        OdUInt64 step = 0;       // serial of the last step with changes
        OdUInt64 actions = 0;    // changes in it (a step may grow after the position was taken)
        OdUInt64 unrecorded = 0; // changes made while nothing recorded them
        bool operator==(const UndoPosition& o) const
        {
            return step == o.step && actions == o.actions && unrecorded == o.unrecorded;
        }
        bool operator!=(const UndoPosition& o) const { return !(*this == o); }
    };
    UndoPosition undoPosition() const;

private:
    friend class OdDbObjectAccess;
    struct Impl;
    Impl* m_impl;
};
typedef OdSmartPtr<OdDbDatabase> OdDbDatabasePtr;
