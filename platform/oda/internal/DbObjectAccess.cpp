#include "DbBlockReference.h"
#include "DbBlockTableRecord.h"
#include "DbSymbolTable.h"
#include "RxObjectImpl.h"
#include "internal/DbImpl.h"

#include <algorithm>
#include <cstdio>

OdDbObject* OdDbObjectAccess::object(const OdDbObjectId& id)
{
    OdDbStub* s = id;
    return s ? s->object : nullptr;
}

OdResult OdDbObjectAccess::open(OdDbObject* obj, OdDb::OpenMode mode, OdDbObjectPtr& result)
{
    if (mode == OdDb::kForWrite) {
        if (obj->m_openMode == OdDb::kForNotify) return eInvalidOpenState;
        obj->m_openMode = OdDb::kForWrite;
    } else if (obj->m_openMode == OdDb::kNotOpen) {
        obj->m_openMode = OdDb::kForRead;
    }
    result = obj;
    return eOk;
}

void OdDbObjectAccess::notifyModified(OdDbObject* obj)
{
    OdDbDatabase* db = obj->database();
    OdDb::OpenMode mode = obj->m_openMode;
    obj->m_openMode = OdDb::kForNotify;
    // Reactors may take and drop pointers to the object; the extra reference keeps the
    // count away from the "closing" value meanwhile.
    ++obj->m_refs;
    impl(db)->notify(db, [&](OdDbDatabaseReactor* r) { r->objectModified(db, obj); });
    --obj->m_refs;
    obj->m_openMode = mode;
}

void OdDbObjectAccess::close(OdDbObject* obj)
{
    if (obj->m_openMode == OdDb::kForWrite && obj->m_modified) notifyModified(obj);
    obj->m_modified = false;
    obj->m_openedForModify = false;
    obj->m_new = false;
    obj->m_openMode = OdDb::kNotOpen;
}

OdDbObjectId OdDbObjectAccess::add(OdDbDatabase* db, OdDbObject* obj, const OdDbObjectId& owner,
                                   OdDbHandle handle)
{
    if (!obj) throw OdError(eNullObjectPointer);
    if (obj->m_stub) throw OdError(eAlreadyInDb);
    OdDbDatabase::Impl* d = impl(db);
    if (handle.isNull() && d->nextHandle) {
        handle = OdDbHandle(d->nextHandle);
        d->nextHandle = 0;
    }
    if (handle.isNull() || d->stubs.count(handle)) handle = d->handseed;
    d->handseed = std::max<OdUInt64>(d->handseed, OdUInt64(handle) + 1);

    OdDbStub* s = new OdDbStub;
    s->db = db;
    s->handle = handle;
    s->object = obj;
    ++obj->m_refs; // the database's reference
    d->stubs[handle] = s;

    obj->m_stub = s;
    obj->m_ownerId = owner;
    // The creator holds the object open for write until it releases its pointer.
    obj->m_openMode = OdDb::kForWrite;
    obj->m_modified = false;
    obj->m_openedForModify = false;
    obj->m_new = true;

    d->record({OdDbDatabase::Impl::UndoAction::kAppend, s, OdDbObjectPtr(), false});
    d->notify(db, [&](OdDbDatabaseReactor* r) { r->objectAppended(db, obj); });
    return OdDbObjectId(s);
}

void OdDbObjectAccess::setErased(OdDbObject* obj, bool erased, bool record)
{
    obj->m_erased = erased;
    OdDbDatabase* db = obj->database();
    if (!db) return;
    if (record)
        impl(db)->record({OdDbDatabase::Impl::UndoAction::kErase, obj->m_stub, OdDbObjectPtr(), erased});
    // Undo and redo change objects nobody opened: reactors still read the object they are told about.
    const bool closed = obj->m_openMode == OdDb::kNotOpen;
    if (closed) obj->m_openMode = OdDb::kForRead;
    ++obj->m_refs;
    impl(db)->notify(db, [&](OdDbDatabaseReactor* r) { r->objectErased(db, obj, erased); });
    --obj->m_refs;
    if (closed) obj->m_openMode = OdDb::kNotOpen;
}

void OdDbObjectAccess::unAppend(OdDbStub* s, OdDbObjectPtr& keep)
{
    OdDbObject* obj = s->object;
    if (!obj) return;
    OdDbDatabase* db = s->db;
    keep = obj; // the undo record keeps it for redo
    impl(db)->notify(db, [&](OdDbDatabaseReactor* r) { r->objectUnAppended(db, obj); });
    s->object = nullptr;
    obj->m_stub = nullptr;
    obj->m_openMode = OdDb::kNotOpen;
    --obj->m_refs; // the database's reference; keep still holds one
}

void OdDbObjectAccess::reAppend(OdDbStub* s, OdDbObject* obj)
{
    if (s->object || !obj) return;
    s->object = obj;
    ++obj->m_refs;
    obj->m_stub = s;
    // Open for read while reactors look at it, as after an append.
    obj->m_openMode = OdDb::kForRead;
    OdDbDatabase* db = s->db;
    ++obj->m_refs;
    impl(db)->notify(db, [&](OdDbDatabaseReactor* r) { r->objectReAppended(db, obj); });
    --obj->m_refs;
    obj->m_openMode = OdDb::kNotOpen;
}

void OdDbObjectAccess::addReference(const OdDbObjectId& blockId, const OdDbObjectId& refId)
{
    OdDbBlockTableRecord* btr = dynamic_cast<OdDbBlockTableRecord*>(object(blockId));
    if (btr && !refId.isNull() && btr->m_referenceSet.insert(refId).second) btr->m_references.append(refId);
}

void OdDbObjectAccess::removeReference(const OdDbObjectId& blockId, const OdDbObjectId& refId)
{
    OdDbBlockTableRecord* btr = dynamic_cast<OdDbBlockTableRecord*>(object(blockId));
    if (btr && btr->m_referenceSet.erase(refId) != 0) btr->m_references.remove(refId);
}

OdDbObjectIdArray& OdDbObjectAccess::entities(OdDbObject* blockRecord)
{
    // The caller may change the list: the membership set cannot follow.
    static_cast<OdDbBlockTableRecord*>(blockRecord)->forgetEntitySet();
    return static_cast<OdDbBlockTableRecord*>(blockRecord)->m_entities;
}

OdDbObjectIdArray& OdDbObjectAccess::records(OdDbObject* table)
{
    // The caller may change the records: the name index cannot follow.
    static_cast<OdDbSymbolTable*>(table)->forgetNames();
    return static_cast<OdDbSymbolTable*>(table)->m_records;
}

void OdDbDatabase::Impl::record(UndoAction action)
{
    if (undoDisabled || !undoStarted) {
        if (!replaying) ++unrecordedChanges;
        return;
    }
    if (undoSteps.empty()) newStep();
    undoSteps.back().push_back(std::move(action));
    redoSteps.clear();
}

void OdDbDatabase::Impl::newStep()
{
    undoSteps.emplace_back();
    undoSteps.back().serial = ++lastStepSerial;
}

namespace {

// An object's state for undo. An entity's common fields (layer, colour, material, visibility) are
// filed by the layer itself ahead of the class's record: a class may keep a record of its own fields
// only, which would leave a layer or material change out of undo. For classes whose record holds
// them too, they are just read twice.
void fileState(const OdDbObject* obj, OdDbDwgFiler* filer)
{
    if (auto* entity = dynamic_cast<const OdDbEntity*>(obj)) entity->OdDbEntity::dwgOutFields(filer);
    obj->dwgOutFields(filer);
}

void readState(OdDbObject* obj, OdDbDwgFiler* filer)
{
    if (auto* entity = dynamic_cast<OdDbEntity*>(obj)) entity->OdDbEntity::dwgInFields(filer);
    obj->dwgInFields(filer);
}

} // namespace

void OdDbDatabase::Impl::fileBeforeWrite(OdDbObject* obj)
{
    if (undoDisabled || !undoStarted) {
        if (!replaying) ++unrecordedChanges;
        return;
    }
    OdDbStub* s = OdDbObjectAccess::stub(obj);
    if (!s || !filedInStep.insert(s).second) return;
    // An object appended in this step goes away as a whole on undo: its fields need no copy.
    if (!undoSteps.empty())
        for (const UndoAction& a : undoSteps.back())
            if (a.kind == UndoAction::kAppend && a.stub == s) return;
    OdDbDwgMemoryFilerPtr filer(OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject());
    filer->setDatabase(s->db);
    filer->setFilerType(OdDbDwgFiler::kUndoFiler);
    fileState(obj, filer.get());
    UndoAction action{UndoAction::kModify, s, OdDbObjectPtr(), false};
    action.before = filer;
    record(std::move(action));
}

void OdDbObjectAccess::fileBeforeWrite(OdDbObject* obj)
{
    if (obj->m_stub) impl(obj->m_stub->db)->fileBeforeWrite(obj);
}

void OdDbObjectAccess::restore(OdDbStub* s, OdDbDwgMemoryFiler* state, OdDbDwgMemoryFilerPtr* current)
{
    OdDbObject* obj = s->object;
    if (!obj || !state) return;
    const OdDb::OpenMode mode = obj->m_openMode;
    // Restoring is a write like any other: reactors see objectModified and the viewer follows.
    obj->m_openMode = OdDb::kForWrite;
    if (current) {
        OdDbDwgMemoryFilerPtr now(OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject());
        now->setDatabase(s->db);
        now->setFilerType(OdDbDwgFiler::kUndoFiler);
        fileState(obj, now.get());
        *current = now;
    }
    state->rewind();
    try {
        readState(obj, state);
    } catch (const OdError& e) {
        std::fprintf(stderr, "odkit: undo could not restore an object: %s\n", e.what());
    }
    obj->m_modified = true;
    if (mode == OdDb::kNotOpen) {
        notifyModified(obj);
        obj->m_modified = false;
        obj->m_openedForModify = false;
        obj->m_openMode = OdDb::kNotOpen;
    } else {
        obj->m_openMode = mode;
    }
}

void OdDbDatabase::Impl::notify(const OdDbDatabase* db, const std::function<void(OdDbDatabaseReactor*)>& f)
{
    // A reactor may add or remove reactors while it runs: walk a copy, and skip those removed.
    std::vector<OdDbDatabaseReactor*> copy = reactors;
    for (OdDbDatabaseReactor* r : copy) {
        if (std::find(reactors.begin(), reactors.end(), r) == reactors.end()) continue;
        try {
            f(r);
        } catch (const OdError& e) {
            // Notifications also run while a smart pointer is released, where nothing may throw.
            std::fprintf(stderr, "odkit: database reactor of database %u failed: %s\n", tag, e.what());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "odkit: database reactor of database %u failed: %s\n", tag, e.what());
        }
    }
    (void)db;
}
