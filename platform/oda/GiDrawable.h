// Something that can draw itself through the graphics interface. The traits and draw
// interfaces (OdGiDrawableTraits, OdGiWorldDraw, OdGiViewportDraw) belong to the Gi layer.
#pragma once

#include "RxObject.h"

class OdGiDrawableTraits;
class OdGiWorldDraw;
class OdGiViewportDraw;
class OdGsCache;

class ODKIT_EXPORT OdGiDrawable : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdGiDrawable);

    enum DrawableType
    {
        kGeometry = 0,
        kDistantLight = 1,
        kPointLight = 2,
        kSpotLight = 3,
        kAmbientLight = 4,
        kSolidBackground = 5,
        kGradientBackground = 6,
        kImageBackground = 7,
        kGroundPlaneBackground = 8,
        kViewport = 9,
        kWebLight = 10,
        kSkyBackground = 11,
        kImageBasedLightingBackground = 12
    };
    enum SetAttributesFlags
    {
        kDrawableNone = 0,
        kDrawableIsAnEntity = 1,
        kDrawableUsesNesting = 2,
        kDrawableIsCompoundObject = 4,
        kDrawableViewIndependentViewportDraw = 8,
        kDrawableIsInvisible = 16,
        kDrawableHasAttributes = 32,
        kDrawableRegenTypeDependantGeometry = 64,
        kDrawableIsDimension = 128 + 1 + 4,
        kDrawableRegenDraw = 256,
        kDrawableStandardDisplaySingleLOD = 512,
        kDrawableShadedDisplaySingleLOD = 1024,
        kDrawableViewDependentViewportDraw = 2048,
        kDrawableBlockDependentViewportDraw = 4096,
        kDrawableIsExternalReference = 8192,
        kDrawableNotPlottable = 16384
    };

    OdUInt32 setAttributes(OdGiDrawableTraits* traits) const { return subSetAttributes(traits); }
    bool worldDraw(OdGiWorldDraw* worldDraw) const { return subWorldDraw(worldDraw); }
    void viewportDraw(OdGiViewportDraw* viewportDraw) const { subViewportDraw(viewportDraw); }

    virtual bool isPersistent() const { return false; }
    // Database id of a persistent drawable, null otherwise.
    virtual OdDbStub* id() const { return nullptr; }
    virtual DrawableType drawableType() const { return kGeometry; }
    virtual void setGsNode(OdGsCache* gsNode) { m_gsNode = gsNode; }
    virtual OdGsCache* gsNode() const { return m_gsNode; }

protected:
    virtual OdUInt32 subSetAttributes(OdGiDrawableTraits* traits) const;
    // True when the drawable drew everything; false asks for viewportDraw.
    virtual bool subWorldDraw(OdGiWorldDraw* worldDraw) const;
    virtual void subViewportDraw(OdGiViewportDraw* viewportDraw) const;

private:
    OdGsCache* m_gsNode = nullptr;
};
typedef OdSmartPtr<OdGiDrawable> OdGiDrawablePtr;
