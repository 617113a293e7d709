// A property source: what a property page shows and edits. The services call it through these
// three operations; reference counted like every run-time object.
#pragma once

#include "OdPropExport.h"

#include "OdArray.h"
#include "RxObject.h"

class ODPROP_EXPORT OdPropSource : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdPropSource);

    // What the page does after an edit.
    enum Action_t
    {
        kNoAction = 0,
        // Rebuild the whole page from the source: the edit changed which properties exist, are
        // enabled or are visible.
        kReloadPage = 12
    };

    // Appends the description of every property as text; false when the source has none.
    virtual bool getPropertyValues(OdString& text) = 0;
    // Applies the edit of one property; false when the source rejects it.
    virtual bool setPropertyValue(const OdString& path, const OdString& value, Action_t& action) = 0;
    // The values a "combo" property offers; false when the property has no list.
    virtual bool getPropertyPossibleValues(const OdString& path, OdArray<OdString>& values,
                                           OdArray<OdString>& second) = 0;
};
typedef OdSmartPtr<OdPropSource> OdPropSourcePtr;
