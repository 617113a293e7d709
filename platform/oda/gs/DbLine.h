#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"

// A line segment.
class ODGS_EXPORT OdDbLine : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbLine);
    OdDbLine();
    ~OdDbLine() override;

    OdGePoint3d startPoint() const;
    void setStartPoint(const OdGePoint3d& point);
    OdGePoint3d endPoint() const;
    void setEndPoint(const OdGePoint3d& point);

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdGePoint3d m_start;
    OdGePoint3d m_end;
};

typedef OdSmartPtr<OdDbLine> OdDbLinePtr;
