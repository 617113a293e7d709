#include "Ge/GePlane.h"

#include <cmath>

// Spelled out: constants of other files may not be initialised yet.
const OdGePlane OdGePlane::kXYPlane(OdGePoint3d(0, 0, 0), OdGeVector3d(0, 0, 1));
const OdGePlane OdGePlane::kYZPlane(OdGePoint3d(0, 0, 0), OdGeVector3d(1, 0, 0));
const OdGePlane OdGePlane::kZXPlane(OdGePoint3d(0, 0, 0), OdGeVector3d(0, 1, 0));

OdGePlane::OdGePlane() : m_normal(0, 0, 1) {}

OdGePlane::OdGePlane(const OdGePoint3d& origin, const OdGeVector3d& normal)
    : m_origin(origin), m_normal(normal.normal())
{
}

OdGePlane& OdGePlane::set(const OdGePoint3d& origin, const OdGeVector3d& normal)
{
    m_origin = origin;
    m_normal = normal.normal();
    return *this;
}

double OdGePlane::signedDistanceTo(const OdGePoint3d& p) const
{
    return (p - m_origin).dotProduct(m_normal);
}

double OdGePlane::distanceTo(const OdGePoint3d& p) const
{
    return std::fabs(signedDistanceTo(p));
}
