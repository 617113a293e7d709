#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"
#include "Ge/GePoint2d.h"
#include "OdArray.h"

// A lightweight polyline: 2D vertices at an elevation in the plane of its normal (bulges not kept).
class ODGS_EXPORT OdDbPolyline : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbPolyline);
    OdDbPolyline();
    ~OdDbPolyline() override;

    void addVertexAt(unsigned int index, const OdGePoint2d& point);
    unsigned int numVerts() const;
    void getPointAt(unsigned int index, OdGePoint3d& point) const;
    double elevation() const;
    void setElevation(double elevation);
    bool isClosed() const;
    void setClosed(bool closed);

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdArray<OdGePoint2d> m_points;
    double m_elevation = 0.0;
    bool m_closed = false;
};

typedef OdSmartPtr<OdDbPolyline> OdDbPolylinePtr;
