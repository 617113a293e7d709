#pragma once

#include "Ge/GeContext.h"

class ODKIT_EXPORT OdGeVector2d
{
public:
    OdGeVector2d() = default;
    OdGeVector2d(double xx, double yy) : x(xx), y(yy) {}
    static const OdGeVector2d kIdentity;
    static const OdGeVector2d kXAxis;
    static const OdGeVector2d kYAxis;

    double length() const;
    double lengthSqrd() const { return x * x + y * y; }
    double dotProduct(const OdGeVector2d& v) const { return x * v.x + y * v.y; }
    double crossProduct(const OdGeVector2d& v) const { return x * v.y - y * v.x; }
    double angle() const;
    OdGeVector2d& normalize(const OdGeTol& tol = OdGeContext::gTol);
    OdGeVector2d normal(const OdGeTol& tol = OdGeContext::gTol) const;
    OdGeVector2d& rotateBy(double angle);
    bool isEqualTo(const OdGeVector2d& v, const OdGeTol& tol = OdGeContext::gTol) const;
    OdGeVector2d operator+(const OdGeVector2d& v) const { return {x + v.x, y + v.y}; }
    OdGeVector2d operator-(const OdGeVector2d& v) const { return {x - v.x, y - v.y}; }
    OdGeVector2d operator-() const { return {-x, -y}; }
    OdGeVector2d operator*(double s) const { return {x * s, y * s}; }
    OdGeVector2d operator/(double s) const { return {x / s, y / s}; }
    bool operator==(const OdGeVector2d& v) const { return isEqualTo(v); }
    bool operator!=(const OdGeVector2d& v) const { return !isEqualTo(v); }

    double x = 0.0;
    double y = 0.0;
};
