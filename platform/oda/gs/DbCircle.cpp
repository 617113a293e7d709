#include "DbCircle.h"

#include "DbFiler.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

ODRX_DEFINE_MEMBERS_EX(OdDbCircle, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"CIRCLE"),
                       OdString(L"AutoCAD"), OdString(L"AcDbCircle"))

OdDbCircle::OdDbCircle() = default;

OdDbCircle::~OdDbCircle() = default;

OdGePoint3d OdDbCircle::center() const
{
    assertReadEnabled();
    return m_center;
}

void OdDbCircle::setCenter(const OdGePoint3d& center)
{
    assertWriteEnabled();
    m_center = center;
}

double OdDbCircle::radius() const
{
    assertReadEnabled();
    return m_radius;
}

void OdDbCircle::setRadius(double radius)
{
    if (!(radius > 0.0)) throw OdError(eInvalidInput);
    assertWriteEnabled();
    m_radius = radius;
}

OdGeVector3d OdDbCircle::normal() const
{
    assertReadEnabled();
    return m_normal;
}

void OdDbCircle::setNormal(const OdGeVector3d& normal)
{
    if (normal.isZeroLength()) throw OdError(eInvalidInput);
    assertWriteEnabled();
    m_normal = normal.normal();
}

bool OdDbCircle::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    wd->geometry().circle(m_center, m_radius, m_normal);
    return true;
}

OdResult OdDbCircle::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    const OdGeVector3d radial = xform * (m_normal.perpVector().normal() * m_radius);
    m_center.transformBy(xform);
    m_normal = (xform * m_normal).normal();
    m_radius = radial.length();
    return eOk;
}

OdResult OdDbCircle::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    const OdGeVector3d r(m_radius, m_radius, m_radius);
    extents.set(m_center - r, m_center + r);
    return eOk;
}

OdResult OdDbCircle::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    m_center = filer->rdPoint3d();
    m_radius = filer->rdDouble();
    m_normal = filer->rdVector3d();
    return eOk;
}

void OdDbCircle::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrPoint3d(m_center);
    filer->wrDouble(m_radius);
    filer->wrVector3d(m_normal);
}
