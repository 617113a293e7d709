#include "DbPolygonMesh.h"

#include "DbFilerArrays.h"
#include "DbPointList.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

#include <vector>

ODRX_DEFINE_MEMBERS_EX(OdDbPolygonMesh, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"POLYLINE"),
                       OdString(L"AutoCAD"), OdString(L"AcDbPolygonMesh"))

OdDbPolygonMesh::OdDbPolygonMesh() = default;

OdDbPolygonMesh::~OdDbPolygonMesh() = default;

OdResult OdDbPolygonMesh::setMesh(OdInt16 mSize, OdInt16 nSize, const OdArray<OdGePoint3d>& vertices)
{
    if (mSize < 2 || nSize < 2 || vertices.size() != unsigned(mSize) * unsigned(nSize)) return eInvalidInput;
    assertWriteEnabled();
    m_m = mSize;
    m_n = nSize;
    m_vertices = vertices;
    return eOk;
}

OdInt16 OdDbPolygonMesh::mSize() const
{
    assertReadEnabled();
    return m_m;
}

OdInt16 OdDbPolygonMesh::nSize() const
{
    assertReadEnabled();
    return m_n;
}

bool OdDbPolygonMesh::isMClosed() const
{
    assertReadEnabled();
    return m_closedM;
}

bool OdDbPolygonMesh::isNClosed() const
{
    assertReadEnabled();
    return m_closedN;
}

void OdDbPolygonMesh::makeMClosed()
{
    assertWriteEnabled();
    m_closedM = true;
}

void OdDbPolygonMesh::makeNClosed()
{
    assertWriteEnabled();
    m_closedN = true;
}

OdGePoint3d OdDbPolygonMesh::vertexAt(OdInt16 m, OdInt16 n) const
{
    assertReadEnabled();
    if (m < 0 || n < 0 || m >= m_m || n >= m_n) throw OdError(eInvalidIndex);
    return m_vertices[unsigned(m) * unsigned(m_n) + unsigned(n)];
}

bool OdDbPolygonMesh::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    if (m_vertices.empty()) return true;
    if (!m_closedM && !m_closedN) {
        wd->geometry().mesh(m_m, m_n, m_vertices.getPtr());
        return true;
    }
    // A closed direction repeats its first row or column at the end.
    const int rows = m_m + (m_closedM ? 1 : 0);
    const int cols = m_n + (m_closedN ? 1 : 0);
    std::vector<OdGePoint3d> grid(std::size_t(rows) * std::size_t(cols));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c)
            grid[std::size_t(r * cols + c)] = m_vertices[unsigned((r % m_m) * m_n + (c % m_n))];
    }
    wd->geometry().mesh(rows, cols, grid.data());
    return true;
}

OdResult OdDbPolygonMesh::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    return odDbTransformPointList(m_vertices, xform);
}

OdResult OdDbPolygonMesh::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    return odDbPointListExtents(m_vertices, extents);
}

OdResult OdDbPolygonMesh::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    m_m = filer->rdInt16();
    m_n = filer->rdInt16();
    m_closedM = filer->rdBool();
    m_closedN = filer->rdBool();
    return odDbReadArray(filer, m_vertices, &OdDbDwgFiler::rdPoint3d);
}

void OdDbPolygonMesh::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrInt16(m_m);
    filer->wrInt16(m_n);
    filer->wrBool(m_closedM);
    filer->wrBool(m_closedN);
    odDbWriteArray(filer, m_vertices, &OdDbDwgFiler::wrPoint3d);
}
