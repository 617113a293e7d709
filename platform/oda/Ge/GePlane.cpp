#include "Ge/GePlane.h"

#include <cmath>

const OdGePlane OdGePlane::kXYPlane(OdGePoint3d::kOrigin, OdGeVector3d::kZAxis);
const OdGePlane OdGePlane::kYZPlane(OdGePoint3d::kOrigin, OdGeVector3d::kXAxis);
const OdGePlane OdGePlane::kZXPlane(OdGePoint3d::kOrigin, OdGeVector3d::kYAxis);

OdGePlane::OdGePlane() : m_normal(OdGeVector3d::kZAxis) {}

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
