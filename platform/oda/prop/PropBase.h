// A property source that writes its properties into an OdPropContext; the text form is derived.
#pragma once

#include "PropContext.h"
#include "PropSource.h"

class ODPROP_EXPORT OdPropBase : public OdPropSource
{
public:
    ODRX_DECLARE_MEMBERS(OdPropBase);

    // Describes the properties in a context rooted at the empty path and appends its text.
    bool getPropertyValues(OdString& text) override;
    // Writes every property (categories, properties, attributes) into context.
    virtual bool getPropertyValues(OdPropContext& context) = 0;
    // A class name the page should show instead of the object's own; false keeps the object's.
    virtual bool overrideClassName(OdString& className) const;
};
typedef OdSmartPtr<OdPropBase> OdPropBasePtr;
