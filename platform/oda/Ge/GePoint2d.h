#pragma once

#include "Ge/GeVector2d.h"

class ODKIT_EXPORT OdGePoint2d
{
public:
    OdGePoint2d() = default;
    OdGePoint2d(double xx, double yy) : x(xx), y(yy) {}
    static const OdGePoint2d kOrigin;

    OdGePoint2d& set(double xx, double yy)
    {
        x = xx;
        y = yy;
        return *this;
    }
    double distanceTo(const OdGePoint2d& p) const;
    bool isEqualTo(const OdGePoint2d& p, const OdGeTol& tol = OdGeContext::gTol) const;
    OdGeVector2d asVector() const { return {x, y}; }
    OdGePoint2d operator+(const OdGeVector2d& v) const { return {x + v.x, y + v.y}; }
    OdGePoint2d operator-(const OdGeVector2d& v) const { return {x - v.x, y - v.y}; }
    OdGeVector2d operator-(const OdGePoint2d& p) const { return {x - p.x, y - p.y}; }
    bool operator==(const OdGePoint2d& p) const { return isEqualTo(p); }
    bool operator!=(const OdGePoint2d& p) const { return !isEqualTo(p); }

    double x = 0.0;
    double y = 0.0;
};
