#include "DbPolyline.h"

#include "DbFilerArrays.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

#include <vector>

ODRX_DEFINE_MEMBERS_EX(OdDbPolyline, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"LWPOLYLINE"),
                       OdString(L"AutoCAD"), OdString(L"AcDbPolyline"))

OdDbPolyline::OdDbPolyline() = default;

OdDbPolyline::~OdDbPolyline() = default;

void OdDbPolyline::addVertexAt(unsigned int index, const OdGePoint2d& point)
{
    assertWriteEnabled();
    if (index >= m_points.size())
        m_points.append(point);
    else
        m_points.insertAt(index, point);
}

unsigned int OdDbPolyline::numVerts() const
{
    assertReadEnabled();
    return m_points.size();
}

void OdDbPolyline::getPointAt(unsigned int index, OdGePoint3d& point) const
{
    assertReadEnabled();
    if (index >= m_points.size()) throw OdError(eInvalidIndex);
    point.set(m_points[index].x, m_points[index].y, m_elevation);
}

double OdDbPolyline::elevation() const
{
    assertReadEnabled();
    return m_elevation;
}

void OdDbPolyline::setElevation(double elevation)
{
    assertWriteEnabled();
    m_elevation = elevation;
}

bool OdDbPolyline::isClosed() const
{
    assertReadEnabled();
    return m_closed;
}

void OdDbPolyline::setClosed(bool closed)
{
    assertWriteEnabled();
    m_closed = closed;
}

bool OdDbPolyline::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    std::vector<OdGePoint3d> points;
    points.reserve(m_points.size() + 1);
    for (const OdGePoint2d& p : m_points)
        points.emplace_back(p.x, p.y, m_elevation);
    if (m_closed && !points.empty()) points.push_back(points.front());
    if (points.size() > 1) wd->geometry().polyline(std::int32_t(points.size()), points.data());
    return true;
}

OdResult OdDbPolyline::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    if (m_points.empty()) return eInvalidExtents;
    extents = OdGeExtents3d();
    for (const OdGePoint2d& p : m_points)
        extents.addPoint(OdGePoint3d(p.x, p.y, m_elevation));
    return eOk;
}

OdResult OdDbPolyline::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbEntity::dwgInFields(filer);
    if (res == eOk) res = odDbReadArray(filer, m_points, &OdDbDwgFiler::rdPoint2d);
    if (res != eOk) return res;
    m_elevation = filer->rdDouble();
    m_closed = filer->rdBool();
    return eOk;
}

void OdDbPolyline::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    odDbWriteArray(filer, m_points, &OdDbDwgFiler::wrPoint2d);
    filer->wrDouble(m_elevation);
    filer->wrBool(m_closed);
}
