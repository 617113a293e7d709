#pragma once

#include "zalOdDbExExport.h"

#include "DbEntity.h"
#include "OdArray.h"

// A closed outline carrying an image for the host's own views (a site plan overlay); the render viewer does
// not show it.
class ZALODDBEX_EXPORT zalDbStarImagePolygon : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(zalDbStarImagePolygon);
    zalDbStarImagePolygon();
    ~zalDbStarImagePolygon() override;

    const OdArray<OdGePoint3d>& vertices() const;
    void setVertices(const OdArray<OdGePoint3d>& vertices);
    OdString imagePath() const;
    void setImagePath(const OdString& path);

    // Own fields behind a format version, so a file keeps every one.
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

private:
    OdArray<OdGePoint3d> m_vertices;
    OdString m_imagePath;
};

typedef OdSmartPtr<zalDbStarImagePolygon> zalDbStarImagePolygonPtr;
