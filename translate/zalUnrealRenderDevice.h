#pragma once

#include "translate/zalUnrealRenderSimplifier.h"
#include "zalExport.h"

#include "gs/GsBaseVectorizeDevice.h"

class zalTranslationOwner;

// The module's graphics device: its views are zalUnrealRenderView objects, all feeding the one simplifier
// the device owns. Create it as OdRxObjectImpl<zalUnrealRenderDevice>.
class ZAL_EXPORT zalUnrealRenderDevice : public OdGsBaseVectorizeDevice
{
public:
    zalUnrealRenderDevice();
    ~zalUnrealRenderDevice() override;

    static OdSmartPtr<zalUnrealRenderDevice> createObject();

    void getSize(OdGsDCRect& outputRect) const override;
    // Creates a zalUnrealRenderView bound to this device whose conveyor ends in the simplifier.
    OdGsViewPtr createView(const OdGsClientViewInfo* viewInfo = nullptr,
                           bool enableLayerVisibilityPerView = false) override;
    const ODCOLORREF* getLogicalPalette(int& numColors) const override;
    bool supportDynamicHighlight() const override { return false; }

    zalUnrealRenderSimplifier& simplifier() { return m_simplifier; }

    // The session the device's views translate for; not owned.
    void setOwner(zalTranslationOwner* owner) { m_owner = owner; }
    zalTranslationOwner* owner() const { return m_owner; }

private:
    zalUnrealRenderSimplifier m_simplifier;
    zalTranslationOwner* m_owner = nullptr;
};
