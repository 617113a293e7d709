#include "GsBaseVectorizeDevice.h"

#include <algorithm>

OdGsBaseVectorizeDevice::OdGsBaseVectorizeDevice() = default;

OdGsBaseVectorizeDevice::~OdGsBaseVectorizeDevice() = default;

void OdGsBaseVectorizeDevice::setUserGiContext(OdGiContext* userGiContext)
{
    m_userContext = userGiContext;
}

void OdGsBaseVectorizeDevice::addView(OdGsView* view)
{
    if (view) m_views.push_back(OdGsViewPtr(view));
}

bool OdGsBaseVectorizeDevice::eraseView(OdGsView* view)
{
    auto it = std::find_if(m_views.begin(), m_views.end(),
                           [view](const OdGsViewPtr& v) { return v.get() == view; });
    if (it == m_views.end()) return false;
    m_views.erase(it);
    return true;
}

void OdGsBaseVectorizeDevice::eraseAllViews()
{
    m_views.clear();
}

OdGsView* OdGsBaseVectorizeDevice::viewAt(int viewIndex)
{
    return viewIndex >= 0 && viewIndex < int(m_views.size()) ? m_views[std::size_t(viewIndex)].get()
                                                             : nullptr;
}

void OdGsBaseVectorizeDevice::update(OdGsDCRect*)
{
    const std::vector<OdGsViewPtr> views = m_views;
    for (const OdGsViewPtr& v : views)
        v->update();
}

bool OdGsBaseVectorizeDevice::setBackgroundColor(ODCOLORREF backgroundColor)
{
    m_background = backgroundColor;
    return true;
}

void OdGsBaseVectorizeDevice::setLogicalPalette(const ODCOLORREF* logicalPalette, int numColors)
{
    m_palette = logicalPalette;
    m_paletteSize = logicalPalette ? numColors : 0;
}

const ODCOLORREF* OdGsBaseVectorizeDevice::getLogicalPalette(int& numColors) const
{
    numColors = m_paletteSize;
    return m_palette;
}
