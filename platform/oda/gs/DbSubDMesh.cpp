#include "DbSubDMesh.h"

#include "DbFilerArrays.h"
#include "DbPointList.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

#include <cstdlib>

ODRX_DEFINE_MEMBERS_EX(OdDbSubDMesh, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"MESH"),
                       OdString(L"AutoCAD"), OdString(L"AcDbSubDMesh"))

OdDbSubDMesh::OdDbSubDMesh() = default;

OdDbSubDMesh::~OdDbSubDMesh() = default;

OdResult OdDbSubDMesh::setSubDMesh(const OdArray<OdGePoint3d>& vertices, const OdArray<OdInt32>& faceList,
                                   OdInt32 subDLevel)
{
    assertWriteEnabled();
    OdInt32 faces = 0;
    for (unsigned i = 0; i < faceList.size();) {
        const OdInt32 n = faceList[i];
        const unsigned count = unsigned(std::abs(n));
        if (count < 3 || i + 1 + count > faceList.size()) return eInvalidInput;
        for (unsigned k = 0; k < count; ++k) {
            const OdInt32 index = faceList[i + 1 + k];
            if (index < 0 || unsigned(index) >= vertices.size()) return eInvalidInput;
        }
        if (n > 0) ++faces;
        i += count + 1;
    }
    m_vertices = vertices;
    m_faceList = faceList;
    m_subDLevel = subDLevel;
    m_numFaces = faces;
    m_faceMaterials.clear();
    m_normals.clear();
    m_uvs.clear();
    return eOk;
}

const OdArray<OdGePoint3d>& OdDbSubDMesh::vertices() const
{
    assertReadEnabled();
    return m_vertices;
}

const OdArray<OdInt32>& OdDbSubDMesh::faceList() const
{
    assertReadEnabled();
    return m_faceList;
}

OdInt32 OdDbSubDMesh::numOfFaces() const
{
    assertReadEnabled();
    return m_numFaces;
}

OdInt32 OdDbSubDMesh::subDLevel() const
{
    assertReadEnabled();
    return m_subDLevel;
}

OdResult OdDbSubDMesh::setFaceMaterials(const OdArray<OdDbObjectId>& materials)
{
    assertWriteEnabled();
    if (!materials.empty() && OdInt32(materials.size()) != m_numFaces) return eInvalidInput;
    m_faceMaterials = materials;
    return eOk;
}

const OdArray<OdDbObjectId>& OdDbSubDMesh::faceMaterials() const
{
    assertReadEnabled();
    return m_faceMaterials;
}

OdResult OdDbSubDMesh::setVertexNormalArray(const OdArray<OdGeVector3d>& normals)
{
    assertWriteEnabled();
    if (!normals.empty() && normals.size() != m_vertices.size()) return eInvalidInput;
    m_normals = normals;
    return eOk;
}

const OdArray<OdGeVector3d>& OdDbSubDMesh::vertexNormalArray() const
{
    assertReadEnabled();
    return m_normals;
}

OdResult OdDbSubDMesh::setVertexTextureArray(const OdArray<OdGePoint3d>& coordinates)
{
    assertWriteEnabled();
    if (!coordinates.empty() && coordinates.size() != m_vertices.size()) return eInvalidInput;
    m_uvs = coordinates;
    return eOk;
}

const OdArray<OdGePoint3d>& OdDbSubDMesh::vertexTextureArray() const
{
    assertReadEnabled();
    return m_uvs;
}

bool OdDbSubDMesh::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    if (m_vertices.empty() || m_faceList.empty()) return true;
    OdGiFaceData faceData;
    if (!m_faceMaterials.empty()) faceData.setMaterials(m_faceMaterials.getPtr());
    OdGiVertexData vertexData;
    if (!m_normals.empty()) vertexData.setNormals(m_normals.getPtr());
    if (!m_uvs.empty()) vertexData.setMappingCoords(m_uvs.getPtr());
    wd->geometry().shell(std::int32_t(m_vertices.size()), m_vertices.getPtr(),
                         std::int32_t(m_faceList.size()), m_faceList.getPtr(), nullptr,
                         m_faceMaterials.empty() ? nullptr : &faceData,
                         (m_normals.empty() && m_uvs.empty()) ? nullptr : &vertexData);
    return true;
}

OdResult OdDbSubDMesh::subTransformBy(const OdGeMatrix3d& xform)
{
    assertWriteEnabled();
    odDbTransformPointList(m_vertices, xform);
    for (OdGeVector3d& n : m_normals) {
        n.transformBy(xform);
        n.normalize();
    }
    return eOk;
}

OdResult OdDbSubDMesh::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    return odDbPointListExtents(m_vertices, extents);
}

OdResult OdDbSubDMesh::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbEntity::dwgInFields(filer);
    if (res == eOk) res = odDbReadArray(filer, m_vertices, &OdDbDwgFiler::rdPoint3d);
    if (res == eOk) res = odDbReadArray(filer, m_faceList, &OdDbDwgFiler::rdInt32);
    if (res != eOk) return res;
    m_subDLevel = filer->rdInt32();
    m_numFaces = filer->rdInt32();
    res = odDbReadArray(filer, m_faceMaterials, &OdDbDwgFiler::rdHardPointerId);
    if (res == eOk) res = odDbReadArray(filer, m_normals, &OdDbDwgFiler::rdVector3d);
    if (res == eOk) res = odDbReadArray(filer, m_uvs, &OdDbDwgFiler::rdPoint3d);
    return res;
}

void OdDbSubDMesh::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    odDbWriteArray(filer, m_vertices, &OdDbDwgFiler::wrPoint3d);
    odDbWriteArray(filer, m_faceList, &OdDbDwgFiler::wrInt32);
    filer->wrInt32(m_subDLevel);
    filer->wrInt32(m_numFaces);
    odDbWriteArray(filer, m_faceMaterials, &OdDbDwgFiler::wrHardPointerId);
    odDbWriteArray(filer, m_normals, &OdDbDwgFiler::wrVector3d);
    odDbWriteArray(filer, m_uvs, &OdDbDwgFiler::wrPoint3d);
}
