// Iterator over a collection of run-time objects.
#pragma once

#include "RxObject.h"

class ODKIT_EXPORT OdRxIterator : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdRxIterator);
    virtual bool done() const = 0;
    virtual bool next() = 0;
    virtual OdRxObjectPtr object() const = 0;
};
typedef OdSmartPtr<OdRxIterator> OdRxIteratorPtr;
