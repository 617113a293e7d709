// Walks the entities of a block table record in order.
#pragma once

#include "DbEntity.h"

class ODKIT_EXPORT OdDbObjectIterator : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbObjectIterator);
    virtual void start(bool atBeginning = true, bool skipErased = true) = 0;
    virtual bool done() const = 0;
    virtual void step(bool forward = true, bool skipErased = true) = 0;
    virtual OdDbObjectId objectId() const = 0;
    virtual OdDbEntityPtr entity(OdDb::OpenMode openMode = OdDb::kForRead, bool openErasedEntity = false) = 0;
    virtual bool seek(const OdDbObjectId& objectId) = 0;
};
typedef OdSmartPtr<OdDbObjectIterator> OdDbObjectIteratorPtr;
