#pragma once

#include "GsBaseVectorizeDevice.h"

// The device behind the host's drawing views: its views are zalSketchView objects.
class zalSketchDevice : public OdGsBaseVectorizeDevice
{
public:
    static OdSmartPtr<zalSketchDevice> createObject();
    OdGsViewPtr createView(const OdGsClientViewInfo* viewInfo = nullptr,
                           bool enableLayerVisibilityPerView = false) override;
};
