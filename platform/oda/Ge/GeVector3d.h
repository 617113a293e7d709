#pragma once

#include "Ge/GeContext.h"

class OdGeMatrix3d;

class ODKIT_EXPORT OdGeVector3d
{
public:
    OdGeVector3d() = default;
    OdGeVector3d(double xx, double yy, double zz) : x(xx), y(yy), z(zz) {}
    static const OdGeVector3d kIdentity;
    static const OdGeVector3d kXAxis;
    static const OdGeVector3d kYAxis;
    static const OdGeVector3d kZAxis;

    OdGeVector3d& set(double xx, double yy, double zz)
    {
        x = xx;
        y = yy;
        z = zz;
        return *this;
    }
    double length() const;
    double lengthSqrd() const { return x * x + y * y + z * z; }
    double dotProduct(const OdGeVector3d& v) const { return x * v.x + y * v.y + z * v.z; }
    OdGeVector3d crossProduct(const OdGeVector3d& v) const;
    // Angle in [0, pi].
    double angleTo(const OdGeVector3d& v) const;
    // Angle in [0, 2pi) measured counter-clockwise about reference.
    double angleTo(const OdGeVector3d& v, const OdGeVector3d& reference) const;
    // Unit vector in the same direction; a zero-length vector stays as it is.
    OdGeVector3d& normalize(const OdGeTol& tol = OdGeContext::gTol);
    OdGeVector3d normal(const OdGeTol& tol = OdGeContext::gTol) const;
    // Some vector perpendicular to this one (arbitrary axis algorithm).
    OdGeVector3d perpVector() const;
    OdGeVector3d& negate();
    OdGeVector3d& rotateBy(double angle, const OdGeVector3d& axis);
    OdGeVector3d& transformBy(const OdGeMatrix3d& m);
    bool isZeroLength(const OdGeTol& tol = OdGeContext::gTol) const;
    bool isUnitLength(const OdGeTol& tol = OdGeContext::gTol) const;
    bool isParallelTo(const OdGeVector3d& v, const OdGeTol& tol = OdGeContext::gTol) const;
    bool isCodirectionalTo(const OdGeVector3d& v, const OdGeTol& tol = OdGeContext::gTol) const;
    bool isPerpendicularTo(const OdGeVector3d& v, const OdGeTol& tol = OdGeContext::gTol) const;
    bool isEqualTo(const OdGeVector3d& v, const OdGeTol& tol = OdGeContext::gTol) const;

    double operator[](unsigned int i) const { return i == 0 ? x : (i == 1 ? y : z); }
    double& operator[](unsigned int i) { return i == 0 ? x : (i == 1 ? y : z); }
    OdGeVector3d operator+(const OdGeVector3d& v) const { return {x + v.x, y + v.y, z + v.z}; }
    OdGeVector3d operator-(const OdGeVector3d& v) const { return {x - v.x, y - v.y, z - v.z}; }
    OdGeVector3d operator-() const { return {-x, -y, -z}; }
    OdGeVector3d operator*(double s) const { return {x * s, y * s, z * s}; }
    OdGeVector3d operator/(double s) const { return {x / s, y / s, z / s}; }
    OdGeVector3d& operator+=(const OdGeVector3d& v);
    OdGeVector3d& operator-=(const OdGeVector3d& v);
    OdGeVector3d& operator*=(double s);
    OdGeVector3d& operator/=(double s);
    bool operator==(const OdGeVector3d& v) const { return isEqualTo(v); }
    bool operator!=(const OdGeVector3d& v) const { return !isEqualTo(v); }

    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

ODKIT_EXPORT OdGeVector3d operator*(double s, const OdGeVector3d& v);
ODKIT_EXPORT OdGeVector3d operator*(const OdGeMatrix3d& m, const OdGeVector3d& v);
