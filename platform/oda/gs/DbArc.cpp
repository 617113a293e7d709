#include "DbArc.h"

#include "DbFiler.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

#include <cmath>

ODRX_DEFINE_MEMBERS_EX(OdDbArc, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"ARC"), OdString(L"AutoCAD"),
                       OdString(L"AcDbArc"))

OdDbArc::OdDbArc() = default;

OdDbArc::~OdDbArc() = default;

OdGePoint3d OdDbArc::center() const
{
    assertReadEnabled();
    return m_center;
}

void OdDbArc::setCenter(const OdGePoint3d& center)
{
    assertWriteEnabled();
    m_center = center;
}

double OdDbArc::radius() const
{
    assertReadEnabled();
    return m_radius;
}

void OdDbArc::setRadius(double radius)
{
    if (!(radius > 0.0)) throw OdError(eInvalidInput);
    assertWriteEnabled();
    m_radius = radius;
}

OdGeVector3d OdDbArc::normal() const
{
    assertReadEnabled();
    return m_normal;
}

void OdDbArc::setNormal(const OdGeVector3d& normal)
{
    if (normal.isZeroLength()) throw OdError(eInvalidInput);
    assertWriteEnabled();
    m_normal = normal.normal();
}

double OdDbArc::startAngle() const
{
    assertReadEnabled();
    return m_start;
}

void OdDbArc::setStartAngle(double angle)
{
    assertWriteEnabled();
    m_start = angle;
}

double OdDbArc::endAngle() const
{
    assertReadEnabled();
    return m_end;
}

void OdDbArc::setEndAngle(double angle)
{
    assertWriteEnabled();
    m_end = angle;
}

bool OdDbArc::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    // The arc's plane: X from the arbitrary-axis rule, angles counted from it about the normal.
    const OdGeVector3d x = OdGeMatrix3d::planeToWorld(m_normal) * OdGeVector3d::kXAxis;
    const OdGeVector3d start = OdGeVector3d(x).rotateBy(m_start, m_normal);
    double sweep = std::fmod(m_end - m_start, Oda2PI);
    if (sweep <= 0.0) sweep += Oda2PI;
    wd->geometry().circularArc(m_center, m_radius, m_normal, start, sweep);
    return true;
}

OdResult OdDbArc::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    const OdGeVector3d r(m_radius, m_radius, m_radius);
    extents.set(m_center - r, m_center + r);
    return eOk;
}

OdResult OdDbArc::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    m_center = filer->rdPoint3d();
    m_radius = filer->rdDouble();
    m_normal = filer->rdVector3d();
    m_start = filer->rdDouble();
    m_end = filer->rdDouble();
    return eOk;
}

void OdDbArc::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrPoint3d(m_center);
    filer->wrDouble(m_radius);
    filer->wrVector3d(m_normal);
    filer->wrDouble(m_start);
    filer->wrDouble(m_end);
}
