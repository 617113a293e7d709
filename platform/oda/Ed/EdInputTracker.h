// Shows temporary graphics in a view while a prompt runs.
#pragma once

#include "RxObject.h"

class OdGsView;

class ODKIT_EXPORT OdEdInputTracker : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdEdInputTracker);
    // Called when the prompt starts; answers the number of drawables added.
    virtual int addDrawables(OdGsView* view) = 0;
    // Called when the prompt ends.
    virtual void removeDrawables(OdGsView* view) = 0;
};
typedef OdSmartPtr<OdEdInputTracker> OdEdInputTrackerPtr;
