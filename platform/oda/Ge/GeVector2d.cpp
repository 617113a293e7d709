#include "Ge/GeVector2d.h"

#include <cmath>

const OdGeVector2d OdGeVector2d::kIdentity(1.0, 1.0);
const OdGeVector2d OdGeVector2d::kXAxis(1.0, 0.0);
const OdGeVector2d OdGeVector2d::kYAxis(0.0, 1.0);

double OdGeVector2d::length() const
{
    return std::hypot(x, y);
}

double OdGeVector2d::angle() const
{
    double a = std::atan2(y, x);
    return a < 0 ? a + Oda2PI : a;
}

OdGeVector2d& OdGeVector2d::normalize(const OdGeTol& tol)
{
    double l = length();
    if (l > tol.equalVector()) {
        x /= l;
        y /= l;
    }
    return *this;
}

OdGeVector2d OdGeVector2d::normal(const OdGeTol& tol) const
{
    OdGeVector2d v(*this);
    return v.normalize(tol);
}

OdGeVector2d& OdGeVector2d::rotateBy(double a)
{
    double c = std::cos(a), s = std::sin(a);
    double nx = x * c - y * s;
    y = x * s + y * c;
    x = nx;
    return *this;
}

bool OdGeVector2d::isEqualTo(const OdGeVector2d& v, const OdGeTol& tol) const
{
    return (*this - v).length() <= tol.equalVector();
}
