#pragma once

#include "Ge/GeVector3d.h"

class OdGePlane;

class ODKIT_EXPORT OdGePoint3d
{
public:
    OdGePoint3d() = default;
    OdGePoint3d(double xx, double yy, double zz) : x(xx), y(yy), z(zz) {}
    static const OdGePoint3d kOrigin;

    OdGePoint3d& set(double xx, double yy, double zz)
    {
        x = xx;
        y = yy;
        z = zz;
        return *this;
    }
    double distanceTo(const OdGePoint3d& p) const;
    bool isEqualTo(const OdGePoint3d& p, const OdGeTol& tol = OdGeContext::gTol) const;
    OdGePoint3d& transformBy(const OdGeMatrix3d& m);
    OdGeVector3d asVector() const { return {x, y, z}; }
    // Orthogonal projection onto the plane.
    OdGePoint3d orthoProject(const OdGePlane& plane) const;

    double operator[](unsigned int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    double& operator[](unsigned int i) { return i == 0 ? x : (i == 1 ? y : z); }
    OdGePoint3d operator+(const OdGeVector3d& v) const { return {x + v.x, y + v.y, z + v.z}; }
    OdGePoint3d operator-(const OdGeVector3d& v) const { return {x - v.x, y - v.y, z - v.z}; }
    OdGeVector3d operator-(const OdGePoint3d& p) const { return {x - p.x, y - p.y, z - p.z}; }
    OdGePoint3d& operator+=(const OdGeVector3d& v);
    OdGePoint3d& operator-=(const OdGeVector3d& v);
    OdGePoint3d operator*(double s) const { return {x * s, y * s, z * s}; }
    OdGePoint3d operator/(double s) const { return {x / s, y / s, z / s}; }
    bool operator==(const OdGePoint3d& p) const { return isEqualTo(p); }
    bool operator!=(const OdGePoint3d& p) const { return !isEqualTo(p); }

    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

ODKIT_EXPORT OdGePoint3d operator*(const OdGeMatrix3d& m, const OdGePoint3d& p);
