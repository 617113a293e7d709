#pragma once

#include "module/zalExport.h"

#include "DbEntity.h"

// The water fountain entity: a viewer particle asset placed in the drawing.
class ZAL_EXPORT zalDbWaterFountain : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(zalDbWaterFountain);
    zalDbWaterFountain();

    // The fountain's property page, registered with the host's property services by class name.
    static void registerPropertySources();
    static void unregisterPropertySources();
};
typedef OdSmartPtr<zalDbWaterFountain> zalDbWaterFountainPtr;
