// Walks the entries of a dictionary in the order they were added (over a copy of the entries).
#pragma once

#include "DbObject.h"

class ODKIT_EXPORT OdDbDictionaryIterator : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbDictionaryIterator);
    virtual OdString name() const = 0;
    virtual OdDbObjectId objectId() const = 0;
    virtual OdDbObjectPtr getObject(OdDb::OpenMode openMode = OdDb::kForRead) = 0;
    virtual bool done() const = 0;
    virtual bool next() = 0;
};
typedef OdSmartPtr<OdDbDictionaryIterator> OdDbDictionaryIteratorPtr;
