#pragma once

#include "GiCommon.h"

// The viewport a viewport draw happens in: its eye frame and its pixel density. Owned by the view that
// draws; drawables only query it during subViewportDraw.
class ODGS_EXPORT OdGiViewport
{
public:
    virtual ~OdGiViewport() = default;

    virtual OdGeMatrix3d getModelToEyeTransform() const = 0;
    virtual OdGeMatrix3d getEyeToModelTransform() const = 0;
    virtual OdGeMatrix3d getWorldToEyeTransform() const = 0;
    virtual OdGeMatrix3d getEyeToWorldTransform() const = 0;
    virtual bool isPerspective() const = 0;
    // Pixels covered by one drawing unit along x and y at a world point; with includePerspective the
    // shrinking with distance from the camera counts.
    virtual void getNumPixelsInUnitSquare(const OdGePoint3d& worldPoint, OdGePoint2d& pixelArea,
                                          bool includePerspective = true) const = 0;
};
