// A stored view: target, direction from the target to the camera, twist, field size, lens.
#pragma once

#include "DbSymbolTableRecord.h"
#include "Ge/GePoint2d.h"
#include "Ge/GePoint3d.h"

class ODKIT_EXPORT OdDbAbstractViewTableRecord : public OdDbSymbolTableRecord
{
public:
    ODRX_DECLARE_MEMBERS(OdDbAbstractViewTableRecord);
    OdDbAbstractViewTableRecord();
    ~OdDbAbstractViewTableRecord() override;

    OdGePoint2d centerPoint() const;
    void setCenterPoint(const OdGePoint2d& point);
    // Field height and width in drawing units.
    double height() const;
    void setHeight(double height);
    double width() const;
    void setWidth(double width);
    OdGePoint3d target() const;
    void setTarget(const OdGePoint3d& target);
    // From the target towards the camera; its length is the camera distance.
    OdGeVector3d viewDirection() const;
    void setViewDirection(const OdGeVector3d& direction);
    double viewTwist() const;
    void setViewTwist(double angle);
    // Lens length in millimetres (35 mm film).
    double lensLength() const;
    void setLensLength(double length);
    bool perspectiveEnabled() const;
    bool isPerspectiveEnabled() const { return perspectiveEnabled(); }
    void setPerspectiveEnabled(bool enabled);

    // Camera position (target + view direction) and up vector (world Z projected on the view
    // plane, or Y for a plan view, turned by the twist).
    OdGePoint3d viewPosition() const;
    OdGeVector3d upVector() const;
    // Sets target, direction and twist so that position, target and up vector hold.
    void setView(const OdGePoint3d& position, const OdGePoint3d& target, const OdGeVector3d& upVector);

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdGePoint2d m_center;
    double m_height = 1.0;
    double m_width = 1.0;
    OdGePoint3d m_target;
    OdGeVector3d m_direction = OdGeVector3d::kZAxis;
    double m_twist = 0.0;
    double m_lens = 50.0;
    bool m_perspective = false;
};
