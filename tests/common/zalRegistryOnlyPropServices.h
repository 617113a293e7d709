#pragma once

// Property services without pages, as a host publishes them: only their class registry (the
// XML property sources registered by class name) is there to be exercised.

#include "PropServices.h"

class zalRegistryOnlyPropServices : public OdPropServices
{
public:
    OdString createPropView(QLayout*) override { return OdString(); }
    bool attachPropSource(const OdString&, OdPropSource*, const OdString&, const OdString&, const OdString&,
                          OdRxObject*) override
    {
        return false;
    }
    bool refreshPage(const OdString&, OdPropSource*, bool) override { return false; }
    bool detachPage(const OdString&) override { return false; }
    OdRxObject* pageDatabase(const OdString&) const override { return nullptr; }
};
