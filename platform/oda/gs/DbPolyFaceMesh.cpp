#include "DbPolyFaceMesh.h"

#include "DbFilerArrays.h"
#include "DbPointList.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

ODRX_DEFINE_MEMBERS_EX(OdDbPolyFaceMesh, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"POLYLINE"),
                       OdString(L"AutoCAD"), OdString(L"AcDbPolyFaceMesh"))

OdDbPolyFaceMesh::OdDbPolyFaceMesh() = default;

OdDbPolyFaceMesh::~OdDbPolyFaceMesh() = default;

OdInt32 OdDbPolyFaceMesh::appendVertex(const OdGePoint3d& point)
{
    assertWriteEnabled();
    return OdInt32(m_vertices.append(point));
}

OdResult OdDbPolyFaceMesh::appendFace(OdInt32 v0, OdInt32 v1, OdInt32 v2, OdInt32 v3,
                                      const OdDbObjectId& materialId)
{
    const OdInt32 n = OdInt32(m_vertices.size());
    for (OdInt32 v : {v0, v1, v2}) {
        if (v < 0 || v >= n) return eInvalidIndex;
    }
    if (v3 >= n || v3 < -1) return eInvalidIndex;
    assertWriteEnabled();
    m_faceList.append(v3 < 0 ? 3 : 4);
    m_faceList.append(v0);
    m_faceList.append(v1);
    m_faceList.append(v2);
    if (v3 >= 0) m_faceList.append(v3);
    m_materials.append(materialId);
    return eOk;
}

OdInt32 OdDbPolyFaceMesh::numVertices() const
{
    assertReadEnabled();
    return OdInt32(m_vertices.size());
}

OdInt32 OdDbPolyFaceMesh::numFaces() const
{
    assertReadEnabled();
    return OdInt32(m_materials.size());
}

OdGePoint3d OdDbPolyFaceMesh::vertexAt(OdInt32 index) const
{
    assertReadEnabled();
    if (index < 0 || index >= OdInt32(m_vertices.size())) throw OdError(eInvalidIndex);
    return m_vertices[unsigned(index)];
}

OdDbObjectId OdDbPolyFaceMesh::faceMaterialAt(OdInt32 face) const
{
    assertReadEnabled();
    if (face < 0 || face >= OdInt32(m_materials.size())) throw OdError(eInvalidIndex);
    return m_materials[unsigned(face)];
}

bool OdDbPolyFaceMesh::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    if (m_faceList.empty()) return true;
    OdGiFaceData faceData;
    faceData.setMaterials(m_materials.getPtr());
    wd->geometry().shell(std::int32_t(m_vertices.size()), m_vertices.getPtr(),
                         std::int32_t(m_faceList.size()), m_faceList.getPtr(), nullptr, &faceData);
    return true;
}

OdResult OdDbPolyFaceMesh::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    return odDbTransformPointList(m_vertices, xform);
}

OdResult OdDbPolyFaceMesh::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    return odDbPointListExtents(m_vertices, extents);
}

OdResult OdDbPolyFaceMesh::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbEntity::dwgInFields(filer);
    if (res == eOk) res = odDbReadArray(filer, m_vertices, &OdDbDwgFiler::rdPoint3d);
    if (res == eOk) res = odDbReadArray(filer, m_faceList, &OdDbDwgFiler::rdInt32);
    if (res == eOk) res = odDbReadArray(filer, m_materials, &OdDbDwgFiler::rdHardPointerId);
    return res;
}

void OdDbPolyFaceMesh::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    odDbWriteArray(filer, m_vertices, &OdDbDwgFiler::wrPoint3d);
    odDbWriteArray(filer, m_faceList, &OdDbDwgFiler::wrInt32);
    odDbWriteArray(filer, m_materials, &OdDbDwgFiler::wrHardPointerId);
}

const OdArray<OdInt32>& OdDbPolyFaceMesh::faceList() const
{
    assertReadEnabled();
    return m_faceList;
}
