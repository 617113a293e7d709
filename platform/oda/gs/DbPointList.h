// What entities that are a list of points (meshes, 3D polylines) do to all of their points alike.
#pragma once

#include "Ge/GeExtents3d.h"
#include "Ge/GeMatrix3d.h"
#include "OdArray.h"
#include "OdResult.h"

// eInvalidExtents, extents untouched, for an empty list.
inline OdResult odDbPointListExtents(const OdArray<OdGePoint3d>& points, OdGeExtents3d& extents)
{
    if (points.empty()) return eInvalidExtents;
    extents = OdGeExtents3d();
    extents.addPoints(points.data(), points.size());
    return eOk;
}

inline OdResult odDbTransformPointList(OdArray<OdGePoint3d>& points, const OdGeMatrix3d& xform)
{
    for (OdGePoint3d& p : points)
        p.transformBy(xform);
    return eOk;
}
