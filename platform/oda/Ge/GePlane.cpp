#include "Ge/GePlane.h"

#include <cmath>

// The constant planes are defined in GeContext.cpp, after the tolerances their constructor reads.

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
