#include "DbLine.h"

#include "DbFiler.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

ODRX_DEFINE_MEMBERS_EX(OdDbLine, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"LINE"),
                       OdString(L"AutoCAD"), OdString(L"AcDbLine"))

OdDbLine::OdDbLine() = default;

OdDbLine::~OdDbLine() = default;

OdGePoint3d OdDbLine::startPoint() const
{
    assertReadEnabled();
    return m_start;
}

void OdDbLine::setStartPoint(const OdGePoint3d& point)
{
    assertWriteEnabled();
    m_start = point;
}

OdGePoint3d OdDbLine::endPoint() const
{
    assertReadEnabled();
    return m_end;
}

void OdDbLine::setEndPoint(const OdGePoint3d& point)
{
    assertWriteEnabled();
    m_end = point;
}

bool OdDbLine::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    const OdGePoint3d points[2] = {m_start, m_end};
    wd->geometry().polyline(2, points);
    return true;
}

OdResult OdDbLine::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    m_start.transformBy(xform);
    m_end.transformBy(xform);
    return eOk;
}

OdResult OdDbLine::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    extents = OdGeExtents3d();
    extents.addPoint(m_start);
    extents.addPoint(m_end);
    return eOk;
}

OdResult OdDbLine::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    m_start = filer->rdPoint3d();
    m_end = filer->rdPoint3d();
    return eOk;
}

void OdDbLine::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrPoint3d(m_start);
    filer->wrPoint3d(m_end);
}
