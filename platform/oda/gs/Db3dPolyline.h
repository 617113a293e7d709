#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"
#include "OdArray.h"

// A polyline through 3D points.
class ODGS_EXPORT OdDb3dPolyline : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDb3dPolyline);
    OdDb3dPolyline();
    ~OdDb3dPolyline() override;

    void appendVertex(const OdGePoint3d& point);
    const OdArray<OdGePoint3d>& vertices() const;
    bool isClosed() const;
    void setClosed(bool closed);

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subTransformBy(const OdGeMatrix3d& xform) override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdArray<OdGePoint3d> m_points;
    bool m_closed = false;
};

typedef OdSmartPtr<OdDb3dPolyline> OdDb3dPolylinePtr;
