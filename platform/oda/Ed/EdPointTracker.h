// Follows the cursor point while a point prompt runs.
#pragma once

#include "Ed/EdInputTracker.h"
#include "Ge/GePoint3d.h"

class ODKIT_EXPORT OdEdPointTracker : public OdEdInputTracker
{
public:
    ODRX_DECLARE_MEMBERS(OdEdPointTracker);
    // Called with each cursor point.
    virtual void setValue(const OdGePoint3d& value) = 0;
};
typedef OdSmartPtr<OdEdPointTracker> OdEdPointTrackerPtr;
