#include "Ge/GePoint3d.h"

#include "Ge/GeMatrix3d.h"
#include "Ge/GePlane.h"

const OdGePoint3d OdGePoint3d::kOrigin(0.0, 0.0, 0.0);

double OdGePoint3d::distanceTo(const OdGePoint3d& p) const
{
    return (*this - p).length();
}

bool OdGePoint3d::isEqualTo(const OdGePoint3d& p, const OdGeTol& tol) const
{
    return distanceTo(p) <= tol.equalPoint();
}

OdGePoint3d& OdGePoint3d::transformBy(const OdGeMatrix3d& m)
{
    *this = m * *this;
    return *this;
}

OdGePoint3d OdGePoint3d::orthoProject(const OdGePlane& plane) const
{
    OdGeVector3d n = plane.normal().normal();
    return *this - n * (*this - plane.pointOnPlane()).dotProduct(n);
}

OdGePoint3d& OdGePoint3d::operator+=(const OdGeVector3d& v)
{
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
}

OdGePoint3d& OdGePoint3d::operator-=(const OdGeVector3d& v)
{
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
}

OdGePoint3d operator*(const OdGeMatrix3d& m, const OdGePoint3d& p)
{
    double x = m.entry[0][0] * p.x + m.entry[0][1] * p.y + m.entry[0][2] * p.z + m.entry[0][3];
    double y = m.entry[1][0] * p.x + m.entry[1][1] * p.y + m.entry[1][2] * p.z + m.entry[1][3];
    double z = m.entry[2][0] * p.x + m.entry[2][1] * p.y + m.entry[2][2] * p.z + m.entry[2][3];
    double w = m.entry[3][0] * p.x + m.entry[3][1] * p.y + m.entry[3][2] * p.z + m.entry[3][3];
    if (w != 1.0 && w != 0.0) return {x / w, y / w, z / w};
    return {x, y, z};
}
