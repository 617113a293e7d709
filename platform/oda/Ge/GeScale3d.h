#pragma once

#include "Ge/GeContext.h"

class ODKIT_EXPORT OdGeScale3d
{
public:
    OdGeScale3d() = default;
    explicit OdGeScale3d(double s) : sx(s), sy(s), sz(s) {}
    OdGeScale3d(double x, double y, double z) : sx(x), sy(y), sz(z) {}
    static const OdGeScale3d kIdentity;
    bool isEqualTo(const OdGeScale3d& s, const OdGeTol& tol = OdGeContext::gTol) const;
    bool operator==(const OdGeScale3d& s) const { return isEqualTo(s); }
    bool operator!=(const OdGeScale3d& s) const { return !isEqualTo(s); }

    double sx = 1.0;
    double sy = 1.0;
    double sz = 1.0;
};
