#include "Ge/GeExtents3d.h"

#include "Ge/GeMatrix3d.h"

#include <algorithm>

const OdGeExtents3d OdGeExtents3d::kInvalid;

OdGeExtents3d::OdGeExtents3d() : m_min(1e20, 1e20, 1e20), m_max(-1e20, -1e20, -1e20) {}

OdGeExtents3d::OdGeExtents3d(const OdGePoint3d& minPoint, const OdGePoint3d& maxPoint)
{
    set(minPoint, maxPoint);
}

OdGePoint3d OdGeExtents3d::center() const
{
    return {(m_min.x + m_max.x) / 2.0, (m_min.y + m_max.y) / 2.0, (m_min.z + m_max.z) / 2.0};
}

void OdGeExtents3d::set(const OdGePoint3d& minPoint, const OdGePoint3d& maxPoint)
{
    m_min = minPoint;
    m_max = maxPoint;
}

OdGeExtents3d& OdGeExtents3d::addPoint(const OdGePoint3d& p)
{
    if (!isValidExtents()) {
        m_min = m_max = p;
        return *this;
    }
    m_min.set(std::min(m_min.x, p.x), std::min(m_min.y, p.y), std::min(m_min.z, p.z));
    m_max.set(std::max(m_max.x, p.x), std::max(m_max.y, p.y), std::max(m_max.z, p.z));
    return *this;
}

OdGeExtents3d& OdGeExtents3d::addPoints(const OdGePoint3d* points, std::size_t count)
{
    if (count == 0) return *this;
    if (!isValidExtents()) m_min = m_max = points[0];
    double x0 = m_min.x, y0 = m_min.y, z0 = m_min.z, x1 = m_max.x, y1 = m_max.y, z1 = m_max.z;
    for (std::size_t i = 0; i < count; ++i) {
        const OdGePoint3d& p = points[i];
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        z0 = std::min(z0, p.z);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
        z1 = std::max(z1, p.z);
    }
    m_min.set(x0, y0, z0);
    m_max.set(x1, y1, z1);
    return *this;
}

OdGeExtents3d& OdGeExtents3d::addExt(const OdGeExtents3d& e)
{
    if (e.isValidExtents()) {
        addPoint(e.m_min);
        addPoint(e.m_max);
    }
    return *this;
}

bool OdGeExtents3d::isValidExtents() const
{
    return m_min.x <= m_max.x && m_min.y <= m_max.y && m_min.z <= m_max.z;
}

bool OdGeExtents3d::contains(const OdGePoint3d& p, const OdGeTol& tol) const
{
    double t = tol.equalPoint();
    return p.x >= m_min.x - t && p.x <= m_max.x + t && p.y >= m_min.y - t && p.y <= m_max.y + t &&
           p.z >= m_min.z - t && p.z <= m_max.z + t;
}

bool OdGeExtents3d::isDisjoint(const OdGeExtents3d& e, const OdGeTol& tol) const
{
    double t = tol.equalPoint();
    return e.m_min.x > m_max.x + t || e.m_max.x < m_min.x - t || e.m_min.y > m_max.y + t ||
           e.m_max.y < m_min.y - t || e.m_min.z > m_max.z + t || e.m_max.z < m_min.z - t;
}

void OdGeExtents3d::transformBy(const OdGeMatrix3d& m)
{
    if (!isValidExtents()) return;
    OdGeExtents3d result;
    for (int i = 0; i < 8; ++i) {
        OdGePoint3d corner((i & 1) ? m_max.x : m_min.x, (i & 2) ? m_max.y : m_min.y,
                           (i & 4) ? m_max.z : m_min.z);
        result.addPoint(m * corner);
    }
    *this = result;
}

void OdGeExtents3d::expandBy(const OdGeVector3d& v)
{
    if (isValidExtents()) {
        addPoint(m_min + v);
        addPoint(m_max + v);
    }
}

bool OdGeExtents3d::isEqualTo(const OdGeExtents3d& e, const OdGeTol& tol) const
{
    return m_min.isEqualTo(e.m_min, tol) && m_max.isEqualTo(e.m_max, tol);
}
