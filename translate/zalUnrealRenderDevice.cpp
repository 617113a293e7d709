#include "translate/zalUnrealRenderDevice.h"

#include "translate/zalUnrealRenderView.h"

#include "RxObjectImpl.h"

zalUnrealRenderDevice::zalUnrealRenderDevice() = default;

zalUnrealRenderDevice::~zalUnrealRenderDevice() = default;

OdSmartPtr<zalUnrealRenderDevice> zalUnrealRenderDevice::createObject()
{
    return OdRxObjectImpl<zalUnrealRenderDevice>::createObject();
}

void zalUnrealRenderDevice::getSize(OdGsDCRect& outputRect) const
{
    outputRect = m_outputRect;
}

OdGsViewPtr zalUnrealRenderDevice::createView(const OdGsClientViewInfo* viewInfo, bool)
{
    OdSmartPtr<OdGsView> view = OdRxObjectImpl<zalUnrealRenderView, OdGsView>::createObject();
    auto* renderView = static_cast<zalUnrealRenderView*>(view.get());
    renderView->init(this, viewInfo);
    renderView->output().setDestGeometry(m_simplifier);
    renderView->setSimplifier(&m_simplifier);
    return view;
}

const ODCOLORREF* zalUnrealRenderDevice::getLogicalPalette(int& numColors) const
{
    numColors = m_paletteSize;
    return m_palette;
}
