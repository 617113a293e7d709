#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"

// A 3D face: three or four corners (a triangle repeats its third corner), each edge visible or not.
class ODGS_EXPORT OdDbFace : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbFace);
    OdDbFace();
    ~OdDbFace() override;

    // index 0..3; OdError(eInvalidIndex) outside.
    OdResult getVertexAt(OdUInt16 index, OdGePoint3d& point) const;
    OdResult setVertexAt(OdUInt16 index, const OdGePoint3d& point);
    bool isEdgeVisibleAt(OdUInt16 index) const;
    void makeEdgeInvisibleAt(OdUInt16 index);
    void makeEdgeVisibleAt(OdUInt16 index);

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdGePoint3d m_points[4];
    OdUInt8 m_invisibleEdges = 0;
};

typedef OdSmartPtr<OdDbFace> OdDbFacePtr;
