#include "Ge/GeScale3d.h"

const OdGeScale3d OdGeScale3d::kIdentity(1.0, 1.0, 1.0);

bool OdGeScale3d::isEqualTo(const OdGeScale3d& s, const OdGeTol& tol) const
{
    return OdEqual(sx, s.sx, tol.equalPoint()) && OdEqual(sy, s.sy, tol.equalPoint()) &&
           OdEqual(sz, s.sz, tol.equalPoint());
}
