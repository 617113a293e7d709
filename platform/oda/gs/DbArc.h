#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"

// A circular arc from its start angle counter-clockwise to its end angle, about its normal.
class ODGS_EXPORT OdDbArc : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbArc);
    OdDbArc();
    ~OdDbArc() override;

    OdGePoint3d center() const;
    void setCenter(const OdGePoint3d& center);
    double radius() const;
    void setRadius(double radius);
    OdGeVector3d normal() const;
    void setNormal(const OdGeVector3d& normal);
    double startAngle() const;
    void setStartAngle(double angle);
    double endAngle() const;
    void setEndAngle(double angle);

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdGePoint3d m_center;
    double m_radius = 1.0;
    OdGeVector3d m_normal = OdGeVector3d::kZAxis;
    double m_start = 0.0;
    double m_end = OdaPI;
};

typedef OdSmartPtr<OdDbArc> OdDbArcPtr;
