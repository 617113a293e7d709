#pragma once

#include "GiCommon.h"

// The context a drawing is made in.
class ODGS_EXPORT OdGiContext : public OdRxObject
{
public:
    // The database being drawn, or null.
    virtual OdRxObject* database() const { return nullptr; }
};

typedef OdSmartPtr<OdGiContext> OdGiContextPtr;
