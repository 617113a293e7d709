#include "DbSubDMesh.h"

#include "DbFiler.h"

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
    for (OdGePoint3d& p : m_vertices)
        p.transformBy(xform);
    for (OdGeVector3d& n : m_normals) {
        n.transformBy(xform);
        n.normalize();
    }
    return eOk;
}

OdResult OdDbSubDMesh::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    if (m_vertices.empty()) return eInvalidExtents;
    extents = OdGeExtents3d();
    extents.addPoints(m_vertices.data(), m_vertices.size());
    return eOk;
}

OdResult OdDbSubDMesh::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    {
        const OdInt32 n = filer->rdInt32();
        if (n < 0) return eInvalidInput;
        m_vertices.clear();
        for (OdInt32 i = 0; i < n; ++i)
            m_vertices.append(filer->rdPoint3d());
    }
    {
        const OdInt32 n = filer->rdInt32();
        if (n < 0) return eInvalidInput;
        m_faceList.clear();
        for (OdInt32 i = 0; i < n; ++i)
            m_faceList.append(filer->rdInt32());
    }
    m_subDLevel = filer->rdInt32();
    m_numFaces = filer->rdInt32();
    {
        const OdInt32 n = filer->rdInt32();
        if (n < 0) return eInvalidInput;
        m_faceMaterials.clear();
        for (OdInt32 i = 0; i < n; ++i)
            m_faceMaterials.append(filer->rdHardPointerId());
    }
    {
        const OdInt32 n = filer->rdInt32();
        if (n < 0) return eInvalidInput;
        m_normals.clear();
        for (OdInt32 i = 0; i < n; ++i)
            m_normals.append(filer->rdVector3d());
    }
    {
        const OdInt32 n = filer->rdInt32();
        if (n < 0) return eInvalidInput;
        m_uvs.clear();
        for (OdInt32 i = 0; i < n; ++i)
            m_uvs.append(filer->rdPoint3d());
    }
    return eOk;
}

void OdDbSubDMesh::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrInt32(OdInt32(m_vertices.size()));
    for (const auto& p : m_vertices)
        filer->wrPoint3d(p);
    filer->wrInt32(OdInt32(m_faceList.size()));
    for (OdInt32 v : m_faceList)
        filer->wrInt32(v);
    filer->wrInt32(m_subDLevel);
    filer->wrInt32(m_numFaces);
    filer->wrInt32(OdInt32(m_faceMaterials.size()));
    for (const OdDbObjectId& id : m_faceMaterials)
        filer->wrHardPointerId(id);
    filer->wrInt32(OdInt32(m_normals.size()));
    for (const auto& v : m_normals)
        filer->wrVector3d(v);
    filer->wrInt32(OdInt32(m_uvs.size()));
    for (const auto& p : m_uvs)
        filer->wrPoint3d(p);
}
