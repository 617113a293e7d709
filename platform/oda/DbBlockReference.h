// An insertion of a block definition: position, scale, rotation about the normal.
// blockTransform = translation(position) * planeToWorld(normal) * rotation(rotation, Z)
//                  * scaling(scaleFactors) * translation(-block origin).
#pragma once

#include "DbEntity.h"
#include "Ge/GeScale3d.h"

class ODKIT_EXPORT OdDbBlockReference : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbBlockReference);
    OdDbBlockReference();
    ~OdDbBlockReference() override;

    OdDbObjectId blockTableRecord() const;
    // Records itself in the block's reference list when both are resident.
    void setBlockTableRecord(const OdDbObjectId& blockId);

    OdGePoint3d position() const;
    void setPosition(const OdGePoint3d& position);
    OdGeScale3d scaleFactors() const;
    void setScaleFactors(const OdGeScale3d& scale);
    double rotation() const;
    void setRotation(double angle);
    OdGeVector3d normal() const;
    void setNormal(const OdGeVector3d& normal);

    OdGeMatrix3d blockTransform() const;
    // Decomposes xform (no shear) into position, normal, rotation and scale.
    OdResult setBlockTransform(const OdGeMatrix3d& xform);

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

protected:
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;
    // Extents of the block's entities through blockTransform.
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

private:
    OdDbObjectId m_blockId;
    OdGePoint3d m_position;
    OdGeScale3d m_scale;
    double m_rotation = 0.0;
    OdGeVector3d m_normal = OdGeVector3d::kZAxis;
};
typedef OdSmartPtr<OdDbBlockReference> OdDbBlockReferencePtr;
