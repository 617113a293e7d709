#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"
#include "OdArray.h"

// A polygon mesh: a grid of M x N vertices, row by row, optionally closed in either direction.
class ODGS_EXPORT OdDbPolygonMesh : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbPolygonMesh);
    OdDbPolygonMesh();
    ~OdDbPolygonMesh() override;

    // eInvalidInput unless the vertex count is mSize x nSize with both at least 2.
    OdResult setMesh(OdInt16 mSize, OdInt16 nSize, const OdArray<OdGePoint3d>& vertices);
    OdInt16 mSize() const;
    OdInt16 nSize() const;
    bool isMClosed() const;
    bool isNClosed() const;
    void makeMClosed();
    void makeNClosed();
    OdGePoint3d vertexAt(OdInt16 m, OdInt16 n) const;

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdInt16 m_m = 0;
    OdInt16 m_n = 0;
    bool m_closedM = false;
    bool m_closedN = false;
    OdArray<OdGePoint3d> m_vertices;
};

typedef OdSmartPtr<OdDbPolygonMesh> OdDbPolygonMeshPtr;
