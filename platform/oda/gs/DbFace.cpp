#include "DbFace.h"

#include "DbFiler.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

ODRX_DEFINE_MEMBERS_EX(OdDbFace, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"3DFACE"),
                       OdString(L"AutoCAD"), OdString(L"AcDbFace"))

OdDbFace::OdDbFace() = default;

OdDbFace::~OdDbFace() = default;

OdResult OdDbFace::getVertexAt(OdUInt16 index, OdGePoint3d& point) const
{
    assertReadEnabled();
    if (index > 3) throw OdError(eInvalidIndex);
    point = m_points[index];
    return eOk;
}

OdResult OdDbFace::setVertexAt(OdUInt16 index, const OdGePoint3d& point)
{
    if (index > 3) throw OdError(eInvalidIndex);
    assertWriteEnabled();
    m_points[index] = point;
    return eOk;
}

bool OdDbFace::isEdgeVisibleAt(OdUInt16 index) const
{
    assertReadEnabled();
    return index < 4 && !(m_invisibleEdges & (1u << index));
}

void OdDbFace::makeEdgeInvisibleAt(OdUInt16 index)
{
    assertWriteEnabled();
    if (index < 4) m_invisibleEdges = OdUInt8(m_invisibleEdges | (1u << index));
}

void OdDbFace::makeEdgeVisibleAt(OdUInt16 index)
{
    assertWriteEnabled();
    if (index < 4) m_invisibleEdges = OdUInt8(m_invisibleEdges & ~(1u << index));
}

bool OdDbFace::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    const bool triangle = m_points[3].isEqualTo(m_points[2]);
    const std::int32_t faces[5] = {triangle ? 3 : 4, 0, 1, 2, 3};
    wd->geometry().shell(triangle ? 3 : 4, m_points, triangle ? 4 : 5, faces);
    return true;
}

OdResult OdDbFace::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    for (OdGePoint3d& p : m_points)
        p.transformBy(xform);
    return eOk;
}

OdResult OdDbFace::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    extents = OdGeExtents3d();
    for (const OdGePoint3d& p : m_points)
        extents.addPoint(p);
    return eOk;
}

OdResult OdDbFace::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    m_points[0] = filer->rdPoint3d();
    m_points[1] = filer->rdPoint3d();
    m_points[2] = filer->rdPoint3d();
    m_points[3] = filer->rdPoint3d();
    m_invisibleEdges = OdUInt8(filer->rdInt16());
    return eOk;
}

void OdDbFace::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrPoint3d(m_points[0]);
    filer->wrPoint3d(m_points[1]);
    filer->wrPoint3d(m_points[2]);
    filer->wrPoint3d(m_points[3]);
    filer->wrInt16(OdInt16(m_invisibleEdges));
}
