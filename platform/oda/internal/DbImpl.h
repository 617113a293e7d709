// Private structures of the database: id stubs, the database's state, and the one class that
// reaches into objects' private state for the database.
#pragma once

#include "DbDatabase.h"
#include "DbDwgMemoryFiler.h"
#include "DbObject.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

class OdDbStub
{
public:
    OdDbDatabase* db = nullptr;
    OdDbHandle handle;
    // Holds one reference while the object is in the database.
    OdDbObject* object = nullptr;
};

struct OdDbDatabase::Impl
{
    struct UndoAction
    {
        enum Kind
        {
            kAppend,
            kErase,
            kModify
        } kind;
        OdDbStub* stub;
        OdDbObjectPtr object; // keeps an un-appended object alive for redo
        bool erased;          // new erase state (kErase)
        // kModify: the object's fields before its first write in the step, and (filed by undo) after it.
        OdDbDwgMemoryFilerPtr before = OdDbDwgMemoryFilerPtr();
        OdDbDwgMemoryFilerPtr after = OdDbDwgMemoryFilerPtr();
    };
    // A step keeps its serial through undo and redo, so a position in the history can be told again.
    struct UndoStep : std::vector<UndoAction>
    {
        OdUInt64 serial = 0;
    };

    OdUInt32 tag = 0;
    OdUInt64 handseed = 1;
    std::map<OdUInt64, OdDbStub*> stubs;

    OdDbObjectId blockTable, layerTable, viewportTable, namedObjects, materialDictionary;
    OdDbObjectId modelSpace, paperSpace, layerZero, byLayerMaterial, byBlockMaterial, globalMaterial;
    OdDbObjectId activeViewport, activeLayout, xrefBlock, clayer;

    OdDb::UnitsValue insunits = OdDb::kUnitsMillimeters;
    OdInt16 lunits = OdDb::kDecimal;
    OdInt16 luprec = 4;
    OdInt16 aunits = OdDb::kDegrees;
    OdInt16 auprec = 0;
    OdDb::MeasurementValue measurement = OdDb::kMetric;
    OdInt16 cvport = 2;
    bool tilemode = true;
    OdString fileName;

    std::vector<OdDbDatabaseReactor*> reactors;
    OdDbUnitsFormatterPtr formatter;

    bool undoDisabled = false;
    bool undoStarted = false;
    // Objects whose state the current step has filed already: only the first write files it.
    std::set<OdDbStub*> filedInStep;
    // Handle for the next object added without one (importers keep the file's handles).
    OdUInt64 nextHandle = 0;
    std::vector<UndoStep> undoSteps;
    std::vector<UndoStep> redoSteps;
    OdUInt64 lastStepSerial = 0;
    // Changes made while nothing records them: undo cannot take them back.
    OdUInt64 unrecordedChanges = 0;
    // Undo or redo is restoring objects.
    bool replaying = false;

    void newStep();

    void record(UndoAction action);
    // Files obj's state into the current step before its first write there.
    void fileBeforeWrite(OdDbObject* obj);
    // Calls f for every reactor, over a copy of the list, skipping reactors removed meanwhile.
    void notify(const OdDbDatabase* db, const std::function<void(OdDbDatabaseReactor*)>& f);
};

class OdDbObjectAccess
{
public:
    static OdDbObject* object(const OdDbObjectId& id);
    static OdDbStub* stub(const OdDbObject* obj) { return obj->m_stub; }
    static OdDbDatabase::Impl* impl(const OdDbDatabase* db) { return db->m_impl; }

    // Hands out an opened pointer; eInvalidOpenState for a write open of a notifying object.
    static OdResult open(OdDbObject* obj, OdDb::OpenMode mode, OdDbObjectPtr& result);
    static void close(OdDbObject* obj);
    static void notifyModified(OdDbObject* obj);

    static OdDbObjectId add(OdDbDatabase* db, OdDbObject* obj, const OdDbObjectId& owner, OdDbHandle handle);
    static void setErased(OdDbObject* obj, bool erased, bool record);
    static void unAppend(OdDbStub* stub, OdDbObjectPtr& keep);
    static void reAppend(OdDbStub* stub, OdDbObject* obj);
    // The undo filer: files obj's fields before its first write in the current undo step.
    static void fileBeforeWrite(OdDbObject* obj);
    // Reads state back into the stub's object (filing its present state into current first, when
    // given) and notifies objectModified.
    static void restore(OdDbStub* stub, OdDbDwgMemoryFiler* state, OdDbDwgMemoryFilerPtr* current);
    static void setOwner(OdDbObject* obj, const OdDbObjectId& owner) { obj->m_ownerId = owner; }
    static void detach(OdDbObject* obj) { obj->m_stub = nullptr; }

    // Block references kept by the referenced block record.
    static void addReference(const OdDbObjectId& blockId, const OdDbObjectId& refId);
    static void removeReference(const OdDbObjectId& blockId, const OdDbObjectId& refId);
    static OdDbObjectIdArray& entities(OdDbObject* blockRecord);
    static OdDbObjectIdArray& records(OdDbObject* table);
};
