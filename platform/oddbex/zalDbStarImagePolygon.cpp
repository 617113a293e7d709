#include "zalDbStarImagePolygon.h"

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
    if (m_vertices.empty()) return eInvalidExtents;
    extents = OdGeExtents3d();
    for (const OdGePoint3d& p : m_vertices)
        extents.addPoint(p);
    return eOk;
}
