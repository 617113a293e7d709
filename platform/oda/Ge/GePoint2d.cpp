#include "Ge/GePoint2d.h"

const OdGePoint2d OdGePoint2d::kOrigin(0.0, 0.0);

double OdGePoint2d::distanceTo(const OdGePoint2d& p) const
{
    return (*this - p).length();
}

bool OdGePoint2d::isEqualTo(const OdGePoint2d& p, const OdGeTol& tol) const
{
    return distanceTo(p) <= tol.equalPoint();
}
