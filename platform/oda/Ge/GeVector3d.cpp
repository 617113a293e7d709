#include "Ge/GeVector3d.h"

#include "Ge/GeMatrix3d.h"

#include <algorithm>
#include <cmath>

const OdGeVector3d OdGeVector3d::kIdentity(1.0, 1.0, 1.0);
const OdGeVector3d OdGeVector3d::kXAxis(1.0, 0.0, 0.0);
const OdGeVector3d OdGeVector3d::kYAxis(0.0, 1.0, 0.0);
const OdGeVector3d OdGeVector3d::kZAxis(0.0, 0.0, 1.0);

double OdGeVector3d::length() const
{
    return std::sqrt(lengthSqrd());
}

OdGeVector3d OdGeVector3d::crossProduct(const OdGeVector3d& v) const
{
    return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
}

double OdGeVector3d::angleTo(const OdGeVector3d& v) const
{
    // atan2 of |a x b| and a.b stays accurate near 0 and pi, unlike acos.
    return std::atan2(crossProduct(v).length(), dotProduct(v));
}

double OdGeVector3d::angleTo(const OdGeVector3d& v, const OdGeVector3d& reference) const
{
    double a = angleTo(v);
    if (crossProduct(v).dotProduct(reference) < 0.0) a = Oda2PI - a;
    return a >= Oda2PI ? 0.0 : a;
}

OdGeVector3d& OdGeVector3d::normalize(const OdGeTol& tol)
{
    double l = length();
    if (l > tol.equalVector()) {
        x /= l;
        y /= l;
        z /= l;
    }
    return *this;
}

OdGeVector3d OdGeVector3d::normal(const OdGeTol& tol) const
{
    OdGeVector3d v(*this);
    return v.normalize(tol);
}

OdGeVector3d OdGeVector3d::perpVector() const
{
    // Arbitrary axis algorithm of the drawing format.
    OdGeVector3d n = normal();
    if (std::fabs(n.x) < 1.0 / 64.0 && std::fabs(n.y) < 1.0 / 64.0) return kYAxis.crossProduct(n).normal();
    return kZAxis.crossProduct(n).normal();
}

OdGeVector3d& OdGeVector3d::negate()
{
    x = -x;
    y = -y;
    z = -z;
    return *this;
}

OdGeVector3d& OdGeVector3d::rotateBy(double angle, const OdGeVector3d& axis)
{
    return transformBy(OdGeMatrix3d::rotation(angle, axis));
}

OdGeVector3d& OdGeVector3d::transformBy(const OdGeMatrix3d& m)
{
    *this = m * *this;
    return *this;
}

bool OdGeVector3d::isZeroLength(const OdGeTol& tol) const
{
    return length() <= tol.equalVector();
}

bool OdGeVector3d::isUnitLength(const OdGeTol& tol) const
{
    return std::fabs(length() - 1.0) <= tol.equalVector();
}

bool OdGeVector3d::isParallelTo(const OdGeVector3d& v, const OdGeTol& tol) const
{
    if (isZeroLength(tol) || v.isZeroLength(tol)) return false;
    return normal().crossProduct(v.normal()).length() <= tol.equalVector();
}

bool OdGeVector3d::isCodirectionalTo(const OdGeVector3d& v, const OdGeTol& tol) const
{
    return isParallelTo(v, tol) && dotProduct(v) > 0.0;
}

bool OdGeVector3d::isPerpendicularTo(const OdGeVector3d& v, const OdGeTol& tol) const
{
    if (isZeroLength(tol) || v.isZeroLength(tol)) return false;
    return std::fabs(normal().dotProduct(v.normal())) <= tol.equalVector();
}

bool OdGeVector3d::isEqualTo(const OdGeVector3d& v, const OdGeTol& tol) const
{
    return (*this - v).length() <= tol.equalVector();
}

OdGeVector3d& OdGeVector3d::operator+=(const OdGeVector3d& v)
{
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
}

OdGeVector3d& OdGeVector3d::operator-=(const OdGeVector3d& v)
{
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
}

OdGeVector3d& OdGeVector3d::operator*=(double s)
{
    x *= s;
    y *= s;
    z *= s;
    return *this;
}

OdGeVector3d& OdGeVector3d::operator/=(double s)
{
    x /= s;
    y /= s;
    z /= s;
    return *this;
}

OdGeVector3d operator*(double s, const OdGeVector3d& v)
{
    return v * s;
}

OdGeVector3d operator*(const OdGeMatrix3d& m, const OdGeVector3d& v)
{
    return {m.entry[0][0] * v.x + m.entry[0][1] * v.y + m.entry[0][2] * v.z,
            m.entry[1][0] * v.x + m.entry[1][1] * v.y + m.entry[1][2] * v.z,
            m.entry[2][0] * v.x + m.entry[2][1] * v.y + m.entry[2][2] * v.z};
}
