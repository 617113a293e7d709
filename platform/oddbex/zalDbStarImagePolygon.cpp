#include "zalDbStarImagePolygon.h"

#include "DbFilerArrays.h"
#include "DbPointList.h"

#include "GiWorldDraw.h"

#include "Ge/GeExtents3d.h"
#include "RxClass.h"

ODRX_DEFINE_MEMBERS_EX(zalDbStarImagePolygon, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0,
                       OdString(L"ZALSTARIMAGEPOLYGON"), OdString(L"zalOdDbEx"),
                       OdString(L"zalDbStarImagePolygon"))

zalDbStarImagePolygon::zalDbStarImagePolygon() = default;

zalDbStarImagePolygon::~zalDbStarImagePolygon() = default;

const OdArray<OdGePoint3d>& zalDbStarImagePolygon::vertices() const
{
    assertReadEnabled();
    return m_vertices;
}

void zalDbStarImagePolygon::setVertices(const OdArray<OdGePoint3d>& vertices)
{
    assertWriteEnabled();
    m_vertices = vertices;
}

OdString zalDbStarImagePolygon::imagePath() const
{
    assertReadEnabled();
    return m_imagePath;
}

void zalDbStarImagePolygon::setImagePath(const OdString& path)
{
    assertWriteEnabled();
    m_imagePath = path;
}

bool zalDbStarImagePolygon::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    if (m_vertices.size() >= 3) wd->geometry().polygon(std::int32_t(m_vertices.size()), m_vertices.getPtr());
    return true;
}

OdResult zalDbStarImagePolygon::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    return odDbPointListExtents(m_vertices, extents);
}

OdResult zalDbStarImagePolygon::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    if (filer->rdInt16() != 1) return eInvalidInput;
    m_imagePath = filer->rdString();
    return odDbReadArray(filer, m_vertices, &OdDbDwgFiler::rdPoint3d);
}

void zalDbStarImagePolygon::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrInt16(1);
    filer->wrString(m_imagePath);
    odDbWriteArray(filer, m_vertices, &OdDbDwgFiler::wrPoint3d);
}
