#pragma once

#include "zalOdDbExExport.h"

#include "OdArray.h"
#include "OdString.h"
#include "OdVariant.h"
#include "RxObject.h"

// The payload of a generic grip (see zalGripPointUtils): the values and name its entity class gave,
// and the grip's state. Reference counted through OdRxObjectImpl<GenericGripData>; rxInit must run
// before the first grip is made.
struct ZALODDBEX_EXPORT GenericGripData : public OdRxObject
{
    ODRX_DECLARE_MEMBERS(GenericGripData);

    // 0 when made, 2 once the grip went hot.
    OdInt32 state = 0;
    OdArray<OdVariant> values;
    OdString name;
};
typedef OdSmartPtr<GenericGripData> GenericGripDataPtr;
