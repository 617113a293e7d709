#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"
#include "OdArray.h"

// A mesh entity (a shell): vertices and a face list (count, then indices; a negative count makes a hole
// of the face before it), with optional per-face materials, vertex normals and texture coordinates.
class ODGS_EXPORT OdDbSubDMesh : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbSubDMesh);
    OdDbSubDMesh();
    ~OdDbSubDMesh() override;

    // eInvalidInput when the face list names a vertex that does not exist or is cut short.
    OdResult setSubDMesh(const OdArray<OdGePoint3d>& vertices, const OdArray<OdInt32>& faceList,
                         OdInt32 subDLevel = 0);
    const OdArray<OdGePoint3d>& vertices() const;
    const OdArray<OdInt32>& faceList() const;
    OdInt32 numOfFaces() const;
    OdInt32 subDLevel() const;

    // One material id per face (null: the entity's material); empty clears them.
    OdResult setFaceMaterials(const OdArray<OdDbObjectId>& materials);
    const OdArray<OdDbObjectId>& faceMaterials() const;
    // One normal / one texture coordinate (u, v, w) per vertex; empty clears them.
    OdResult setVertexNormalArray(const OdArray<OdGeVector3d>& normals);
    const OdArray<OdGeVector3d>& vertexNormalArray() const;
    OdResult setVertexTextureArray(const OdArray<OdGePoint3d>& coordinates);
    const OdArray<OdGePoint3d>& vertexTextureArray() const;

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdArray<OdGePoint3d> m_vertices;
    OdArray<OdInt32> m_faceList;
    OdInt32 m_subDLevel = 0;
    OdInt32 m_numFaces = 0;
    OdArray<OdDbObjectId> m_faceMaterials;
    OdArray<OdGeVector3d> m_normals;
    OdArray<OdGePoint3d> m_uvs;
};

typedef OdSmartPtr<OdDbSubDMesh> OdDbSubDMeshPtr;
