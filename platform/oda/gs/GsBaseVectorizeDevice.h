#pragma once

#include "GsDevice.h"

#include <vector>

// A device that vectorizes its views in turn. Subclasses create the views (createView).
class ODGS_EXPORT OdGsBaseVectorizeDevice : public OdGsDevice
{
public:
    OdGsBaseVectorizeDevice();
    ~OdGsBaseVectorizeDevice() override;

    OdGiContext* userGiContext() const override { return m_userContext; }
    void setUserGiContext(OdGiContext* userGiContext) override;

    void addView(OdGsView* view) override;
    bool eraseView(OdGsView* view) override;
    void eraseAllViews() override;
    int numViews() const override { return int(m_views.size()); }
    OdGsView* viewAt(int viewIndex) override;

    void update(OdGsDCRect* updatedRect = nullptr) override;
    void onSize(const OdGsDCRect& outputRect) override { m_outputRect = outputRect; }
    void getSize(OdGsDCRect& outputRect) const override { outputRect = m_outputRect; }

    bool setBackgroundColor(ODCOLORREF backgroundColor) override;
    ODCOLORREF getBackgroundColor() override { return m_background; }
    void setLogicalPalette(const ODCOLORREF* logicalPalette, int numColors) override;
    const ODCOLORREF* getLogicalPalette(int& numColors) const override;

protected:
    OdGsDCRect m_outputRect;
    const ODCOLORREF* m_palette = nullptr;
    int m_paletteSize = 0;
    ODCOLORREF m_background = 0;

private:
    OdGiContext* m_userContext = nullptr;
    std::vector<OdGsViewPtr> m_views;
};
