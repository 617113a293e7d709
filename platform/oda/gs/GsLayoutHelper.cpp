#include "GsLayoutHelper.h"

#include "DbViewportTableRecord.h"

OdGsLayoutHelper::OdGsLayoutHelper() = default;

OdGsLayoutHelper::~OdGsLayoutHelper() = default;

void OdGsLayoutHelper::init(OdGsDevice* underlyingDevice, OdDbObjectId layoutId)
{
    m_device = underlyingDevice;
    m_layoutId = layoutId;
    m_activeView = 0;
}

OdGsView* OdGsLayoutHelper::activeView() const
{
    return m_device ? m_device->viewAt(m_activeView) : nullptr;
}

bool OdGsLayoutHelper::setActiveViewport(OdDbObjectId viewportId)
{
    OdDbViewportTableRecordPtr vp = OdDbViewportTableRecord::cast(viewportId.openObject());
    OdGsView* view = activeView();
    if (!vp || !view) return false;
    m_activeViewport = viewportId;
    view->setView(vp->viewPosition(), vp->target(), vp->upVector(), vp->width(), vp->height(),
                  vp->isPerspectiveEnabled() ? OdGsView::kPerspective : OdGsView::kParallel);
    view->setLensLength(vp->lensLength());
    return true;
}

OdGiContext* OdGsLayoutHelper::userGiContext() const
{
    return m_device ? m_device->userGiContext() : nullptr;
}

void OdGsLayoutHelper::setUserGiContext(OdGiContext* userGiContext)
{
    if (m_device) m_device->setUserGiContext(userGiContext);
}

OdGsViewPtr OdGsLayoutHelper::createView(const OdGsClientViewInfo* viewInfo,
                                         bool enableLayerVisibilityPerView)
{
    return m_device ? m_device->createView(viewInfo, enableLayerVisibilityPerView) : OdGsViewPtr();
}

void OdGsLayoutHelper::addView(OdGsView* view)
{
    if (m_device) m_device->addView(view);
}

bool OdGsLayoutHelper::eraseView(OdGsView* view)
{
    return m_device && m_device->eraseView(view);
}

void OdGsLayoutHelper::eraseAllViews()
{
    if (m_device) m_device->eraseAllViews();
}

int OdGsLayoutHelper::numViews() const
{
    return m_device ? m_device->numViews() : 0;
}

OdGsView* OdGsLayoutHelper::viewAt(int viewIndex)
{
    return m_device ? m_device->viewAt(viewIndex) : nullptr;
}

void OdGsLayoutHelper::update(OdGsDCRect* updatedRect)
{
    if (m_device) m_device->update(updatedRect);
}

void OdGsLayoutHelper::onSize(const OdGsDCRect& outputRect)
{
    if (m_device) m_device->onSize(outputRect);
}

void OdGsLayoutHelper::getSize(OdGsDCRect& outputRect) const
{
    if (m_device) m_device->getSize(outputRect);
}

bool OdGsLayoutHelper::setBackgroundColor(ODCOLORREF backgroundColor)
{
    return m_device && m_device->setBackgroundColor(backgroundColor);
}

ODCOLORREF OdGsLayoutHelper::getBackgroundColor()
{
    return m_device ? m_device->getBackgroundColor() : 0;
}

void OdGsLayoutHelper::setLogicalPalette(const ODCOLORREF* logicalPalette, int numColors)
{
    if (m_device) m_device->setLogicalPalette(logicalPalette, numColors);
}

const ODCOLORREF* OdGsLayoutHelper::getLogicalPalette(int& numColors) const
{
    numColors = 0;
    return m_device ? m_device->getLogicalPalette(numColors) : nullptr;
}
