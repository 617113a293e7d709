#pragma once

#include "GiCommon.h"

class OdGsDevice;

// A view of a device: the drawables it shows, its render mode and its camera.
class ODGS_EXPORT OdGsView : public OdRxObject
{
public:
    enum RenderMode
    {
        kBoundingBox = -1,
        k2DOptimized = 0,
        kWireframe = 1,
        kHiddenLine = 2,
        kFlatShaded = 3,
        kGouraudShaded = 4,
        kFlatShadedWithWireframe = 5,
        kGouraudShadedWithWireframe = 6,
        kNone
    };
    enum Projection
    {
        kParallel = 0,
        kPerspective = 1
    };

    virtual OdGsDevice* device() const = 0;

    virtual RenderMode mode() const = 0;
    virtual void setMode(RenderMode mode) = 0;

    // The view keeps a reference to each drawable until eraseAll or its destruction.
    virtual bool add(OdGiDrawable* sceneGraph) = 0;
    virtual bool erase(OdGiDrawable* sceneGraph) = 0;
    virtual void eraseAll() = 0;
    virtual int numDrawables() const = 0;

    virtual void update() = 0;
    // Picking through the view; the default picks nothing.
    virtual void select(const OdGePoint3d*, int) {}

    virtual void setView(const OdGePoint3d& position, const OdGePoint3d& target, const OdGeVector3d& upVector,
                         double fieldWidth, double fieldHeight, Projection projection = kParallel) = 0;
    virtual OdGePoint3d position() const = 0;
    virtual OdGePoint3d target() const = 0;
    virtual OdGeVector3d upVector() const = 0;
    virtual double fieldWidth() const = 0;
    virtual double fieldHeight() const = 0;
    virtual bool isPerspective() const = 0;
    virtual double focalLength() const = 0;
    virtual void setLensLength(double lensLength) = 0;
    virtual double lensLength() const = 0;

    // Matrix from eye coordinates to output (device) coordinates.
    virtual OdGeMatrix3d eyeToWorldTransform() const = 0;
    virtual OdGeMatrix3d worldToEyeTransform() const = 0;
};

typedef OdSmartPtr<OdGsView> OdGsViewPtr;

// What a device needs to create a view.
struct OdGsClientViewInfo
{
    std::int32_t viewportId = -1;
    OdDbObjectId viewportObjectId;
    std::uint32_t viewportFlags = 0;
};
