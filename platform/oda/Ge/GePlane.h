// Infinite plane given by a point and a normal.
#pragma once

#include "Ge/GePoint3d.h"

class ODKIT_EXPORT OdGePlane
{
public:
    OdGePlane();
    OdGePlane(const OdGePoint3d& origin, const OdGeVector3d& normal);
    static const OdGePlane kXYPlane;
    static const OdGePlane kYZPlane;
    static const OdGePlane kZXPlane;

    const OdGePoint3d& pointOnPlane() const { return m_origin; }
    const OdGeVector3d& normal() const { return m_normal; }
    OdGePlane& set(const OdGePoint3d& origin, const OdGeVector3d& normal);
    double signedDistanceTo(const OdGePoint3d& p) const;
    double distanceTo(const OdGePoint3d& p) const;

private:
    OdGePoint3d m_origin;
    OdGeVector3d m_normal;
};
