#pragma once

#include "OdgsExport.h"

#include "DbEntity.h"

// A single line of text at a position, with a height and a rotation in the plane of its normal.
class ODGS_EXPORT OdDbText : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(OdDbText);
    OdDbText();
    ~OdDbText() override;

    OdGePoint3d position() const;
    void setPosition(const OdGePoint3d& position);
    double height() const;
    void setHeight(double height);
    double rotation() const;
    void setRotation(double angle);
    OdGeVector3d normal() const;
    void setNormal(const OdGeVector3d& normal);
    OdString textString() const;
    void setTextString(const OdString& text);

protected:
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

public:
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdGePoint3d m_position;
    double m_height = 1.0;
    double m_rotation = 0.0;
    OdGeVector3d m_normal = OdGeVector3d::kZAxis;
    OdString m_text;
};

typedef OdSmartPtr<OdDbText> OdDbTextPtr;
