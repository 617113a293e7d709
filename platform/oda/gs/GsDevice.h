#pragma once

#include "ColorMapping.h"
#include "GiCommon.h"
#include "GsView.h"

class OdGiContext;

struct OdGsDCRect
{
    long left = 0, right = 0, bottom = 0, top = 0;
};

// A graphics device: its views, palette, background and output rectangle.
class ODGS_EXPORT OdGsDevice : public OdRxObject
{
public:
    virtual OdGiContext* userGiContext() const = 0;
    virtual void setUserGiContext(OdGiContext* userGiContext) = 0;

    virtual OdGsViewPtr createView(const OdGsClientViewInfo* viewInfo = nullptr,
                                   bool enableLayerVisibilityPerView = false) = 0;
    virtual void addView(OdGsView* view) = 0;
    virtual bool eraseView(OdGsView* view) = 0;
    virtual void eraseAllViews() = 0;
    virtual int numViews() const = 0;
    virtual OdGsView* viewAt(int viewIndex) = 0;

    virtual void update(OdGsDCRect* updatedRect = nullptr) = 0;
    virtual void onSize(const OdGsDCRect& outputRect) = 0;
    virtual void getSize(OdGsDCRect& outputRect) const = 0;

    virtual bool setBackgroundColor(ODCOLORREF backgroundColor) = 0;
    virtual ODCOLORREF getBackgroundColor() = 0;
    // The device keeps the pointer; the palette must outlive it (odcmAcadPalette's does).
    virtual void setLogicalPalette(const ODCOLORREF* logicalPalette, int numColors) = 0;
    virtual const ODCOLORREF* getLogicalPalette(int& numColors) const = 0;

    // Whether the device can draw directly into a display list of its own.
    virtual bool supportDynamicHighlight() const { return false; }
};

typedef OdSmartPtr<OdGsDevice> OdGsDevicePtr;
