#include "Db3dPolyline.h"

#include "DbFilerArrays.h"
#include "DbPointList.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

#include <vector>

ODRX_DEFINE_MEMBERS_EX(OdDb3dPolyline, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"POLYLINE"),
                       OdString(L"AutoCAD"), OdString(L"AcDb3dPolyline"))

OdDb3dPolyline::OdDb3dPolyline() = default;

OdDb3dPolyline::~OdDb3dPolyline() = default;

void OdDb3dPolyline::appendVertex(const OdGePoint3d& point)
{
    assertWriteEnabled();
    m_points.append(point);
}

const OdArray<OdGePoint3d>& OdDb3dPolyline::vertices() const
{
    assertReadEnabled();
    return m_points;
}

bool OdDb3dPolyline::isClosed() const
{
    assertReadEnabled();
    return m_closed;
}

void OdDb3dPolyline::setClosed(bool closed)
{
    assertWriteEnabled();
    m_closed = closed;
}

bool OdDb3dPolyline::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    std::vector<OdGePoint3d> points(m_points.begin(), m_points.end());
    if (m_closed && !points.empty()) points.push_back(points.front());
    if (points.size() > 1) wd->geometry().polyline(std::int32_t(points.size()), points.data());
    return true;
}

OdResult OdDb3dPolyline::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    return odDbTransformPointList(m_points, xform);
}

OdResult OdDb3dPolyline::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    return odDbPointListExtents(m_points, extents);
}

OdResult OdDb3dPolyline::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbEntity::dwgInFields(filer);
    if (res == eOk) res = odDbReadArray(filer, m_points, &OdDbDwgFiler::rdPoint3d);
    if (res != eOk) return res;
    m_closed = filer->rdBool();
    return eOk;
}

void OdDb3dPolyline::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    odDbWriteArray(filer, m_points, &OdDbDwgFiler::wrPoint3d);
    filer->wrBool(m_closed);
}
