// Axis-aligned box. A new box is empty: minimum 1e20 and maximum -1e20 on each axis.
#pragma once

#include "Ge/GePoint3d.h"

#include <cstddef>

class ODKIT_EXPORT OdGeExtents3d
{
public:
    OdGeExtents3d();
    OdGeExtents3d(const OdGePoint3d& minPoint, const OdGePoint3d& maxPoint);
    static const OdGeExtents3d kInvalid;

    const OdGePoint3d& minPoint() const { return m_min; }
    const OdGePoint3d& maxPoint() const { return m_max; }
    OdGePoint3d center() const;
    OdGeVector3d diagonal() const { return m_max - m_min; }
    void set(const OdGePoint3d& minPoint, const OdGePoint3d& maxPoint);
    OdGeExtents3d& addPoint(const OdGePoint3d& p);
    // The same for a run of points, in one pass.
    OdGeExtents3d& addPoints(const OdGePoint3d* points, std::size_t count);
    OdGeExtents3d& addExt(const OdGeExtents3d& e);
    // True when minimum <= maximum on every axis.
    bool isValidExtents() const;
    bool contains(const OdGePoint3d& p, const OdGeTol& tol = OdGeContext::gTol) const;
    bool isDisjoint(const OdGeExtents3d& e, const OdGeTol& tol = OdGeContext::gTol) const;
    // Box of the eight transformed corners.
    void transformBy(const OdGeMatrix3d& m);
    void expandBy(const OdGeVector3d& v);
    bool isEqualTo(const OdGeExtents3d& e, const OdGeTol& tol = OdGeContext::gTol) const;

private:
    OdGePoint3d m_min;
    OdGePoint3d m_max;
};
