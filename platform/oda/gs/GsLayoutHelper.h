#pragma once

#include "GsDevice.h"

// A device set up for one layout of a database: it forwards to the underlying device and knows which of
// its views is the active one.
class ODGS_EXPORT OdGsLayoutHelper : public OdGsDevice
{
public:
    OdGsLayoutHelper();
    ~OdGsLayoutHelper() override;

    void init(OdGsDevice* underlyingDevice, OdDbObjectId layoutId);
    OdGsDevice* underlyingDevice() const { return m_device.get(); }
    OdDbObjectId layoutId() const { return m_layoutId; }

    OdGsView* activeView() const;
    // The viewport record the active view follows; its camera is taken into the active view.
    bool setActiveViewport(OdDbObjectId viewportId);
    OdDbObjectId activeViewportId() const { return m_activeViewport; }

    OdGiContext* userGiContext() const override;
    void setUserGiContext(OdGiContext* userGiContext) override;
    OdGsViewPtr createView(const OdGsClientViewInfo* viewInfo = nullptr,
                           bool enableLayerVisibilityPerView = false) override;
    void addView(OdGsView* view) override;
    bool eraseView(OdGsView* view) override;
    void eraseAllViews() override;
    int numViews() const override;
    OdGsView* viewAt(int viewIndex) override;
    void update(OdGsDCRect* updatedRect = nullptr) override;
    void onSize(const OdGsDCRect& outputRect) override;
    void getSize(OdGsDCRect& outputRect) const override;
    bool setBackgroundColor(ODCOLORREF backgroundColor) override;
    ODCOLORREF getBackgroundColor() override;
    void setLogicalPalette(const ODCOLORREF* logicalPalette, int numColors) override;
    const ODCOLORREF* getLogicalPalette(int& numColors) const override;

private:
    OdGsDevicePtr m_device;
    OdDbObjectId m_layoutId;
    OdDbObjectId m_activeViewport;
    int m_activeView = 0;
};

typedef OdSmartPtr<OdGsLayoutHelper> OdGsLayoutHelperPtr;
