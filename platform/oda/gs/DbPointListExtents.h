// The extents of entities that are a list of points (meshes, 3D polylines).
#pragma once

#include "Ge/GeExtents3d.h"
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
