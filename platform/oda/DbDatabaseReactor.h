// Receives the changes of the objects of a database. Added with OdDbDatabase::addReactor; the
// database does not hold a reference, so remove the reactor before destroying it. A reactor
// may add or remove reactors (itself included) while it is being notified.
#pragma once

#include "RxObject.h"

class OdDbObject;

class ODKIT_EXPORT OdDbDatabaseReactor : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbDatabaseReactor);

    // An object was added to the database.
    virtual void objectAppended(const OdDbDatabase* db, const OdDbObject* object);
    // An append was taken back (undo) or done again (redo).
    virtual void objectUnAppended(const OdDbDatabase* db, const OdDbObject* object);
    virtual void objectReAppended(const OdDbDatabase* db, const OdDbObject* object);
    // An object opened for write gets its first change.
    virtual void objectOpenedForModify(const OdDbDatabase* db, const OdDbObject* object);
    // An object changed while open for write was closed or downgraded.
    virtual void objectModified(const OdDbDatabase* db, const OdDbObject* object);
    // erased is the new state: true when erased, false when un-erased.
    virtual void objectErased(const OdDbDatabase* db, const OdDbObject* object, bool erased = true);
    virtual void headerSysVarWillChange(const OdDbDatabase* db, const OdString& name);
    virtual void headerSysVarChanged(const OdDbDatabase* db, const OdString& name);
    // The database is being destroyed.
    virtual void goodbye(const OdDbDatabase* db);
};
typedef OdSmartPtr<OdDbDatabaseReactor> OdDbDatabaseReactorPtr;
