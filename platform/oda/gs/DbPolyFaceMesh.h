#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"
#include "OdArray.h"

// A polyface mesh: a vertex list and faces of three or four vertices, each face with its own material
// (null: the entity's).
class ODGS_EXPORT OdDbPolyFaceMesh : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbPolyFaceMesh);
    OdDbPolyFaceMesh();
    ~OdDbPolyFaceMesh() override;

    // Answers the new vertex's index (from 0).
    OdInt32 appendVertex(const OdGePoint3d& point);
    // Vertex indices from 0; a fourth index of -1 makes a triangle. eInvalidIndex for an index that names
    // no vertex.
    OdResult appendFace(OdInt32 v0, OdInt32 v1, OdInt32 v2, OdInt32 v3 = -1,
                        const OdDbObjectId& materialId = OdDbObjectId::kNull);
    OdInt32 numVertices() const;
    OdInt32 numFaces() const;
    OdGePoint3d vertexAt(OdInt32 index) const;
    OdDbObjectId faceMaterialAt(OdInt32 face) const;
    // Per face its corner count, then its vertex indices (from 0).
    const OdArray<OdInt32>& faceList() const;

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
    OdArray<OdDbObjectId> m_materials;
};

typedef OdSmartPtr<OdDbPolyFaceMesh> OdDbPolyFaceMeshPtr;
