// Walks the records of a symbol table in the order they were added.
#pragma once

#include "DbSymbolTableRecord.h"

class ODKIT_EXPORT OdDbSymbolTableIterator : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbSymbolTableIterator);
    virtual void start(bool atBeginning = true, bool skipDeleted = true) = 0;
    virtual bool done() const = 0;
    virtual void step(bool forward = true, bool skipDeleted = true) = 0;
    virtual OdDbObjectId getRecordId() const = 0;
    virtual OdDbSymbolTableRecordPtr getRecord(OdDb::OpenMode openMode = OdDb::kForRead,
                                               bool openErasedRecord = false) const = 0;
    virtual void seek(const OdDbObjectId& recordId) = 0;
};
typedef OdSmartPtr<OdDbSymbolTableIterator> OdDbSymbolTableIteratorPtr;
