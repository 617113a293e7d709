#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"

// A circle in the plane of its normal.
class ODGS_EXPORT OdDbCircle : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbCircle);
    OdDbCircle();
    ~OdDbCircle() override;

    OdGePoint3d center() const;
    void setCenter(const OdGePoint3d& center);
    double radius() const;
    void setRadius(double radius);
    OdGeVector3d normal() const;
    void setNormal(const OdGeVector3d& normal);

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdGePoint3d m_center;
    double m_radius = 1.0;
    OdGeVector3d m_normal = OdGeVector3d::kZAxis;
};

typedef OdSmartPtr<OdDbCircle> OdDbCirclePtr;
