#include "DbAbstractViewTableRecord.h"

#include "DbFiler.h"
#include "Ge/GeMatrix3d.h"
#include "internal/DbDefine.h"

#include <cmath>

ODKIT_DB_DEFINE_MEMBERS(OdDbAbstractViewTableRecord, OdDbSymbolTableRecord, NO_CONSTR,
                        L"AcDbAbstractViewTableRecord", L"")

OdDbAbstractViewTableRecord::OdDbAbstractViewTableRecord() = default;
OdDbAbstractViewTableRecord::~OdDbAbstractViewTableRecord() = default;

OdGePoint2d OdDbAbstractViewTableRecord::centerPoint() const
{
    assertReadEnabled();
    return m_center;
}
void OdDbAbstractViewTableRecord::setCenterPoint(const OdGePoint2d& point)
{
    assertWriteEnabled();
    m_center = point;
}
double OdDbAbstractViewTableRecord::height() const
{
    assertReadEnabled();
    return m_height;
}
void OdDbAbstractViewTableRecord::setHeight(double height)
{
    assertWriteEnabled();
    m_height = height;
}
double OdDbAbstractViewTableRecord::width() const
{
    assertReadEnabled();
    return m_width;
}
void OdDbAbstractViewTableRecord::setWidth(double width)
{
    assertWriteEnabled();
    m_width = width;
}
OdGePoint3d OdDbAbstractViewTableRecord::target() const
{
    assertReadEnabled();
    return m_target;
}
void OdDbAbstractViewTableRecord::setTarget(const OdGePoint3d& target)
{
    assertWriteEnabled();
    m_target = target;
}
OdGeVector3d OdDbAbstractViewTableRecord::viewDirection() const
{
    assertReadEnabled();
    return m_direction;
}
void OdDbAbstractViewTableRecord::setViewDirection(const OdGeVector3d& direction)
{
    assertWriteEnabled();
    if (direction.isZeroLength()) throw OdError(eInvalidInput, L"Zero-length view direction");
    m_direction = direction;
}
double OdDbAbstractViewTableRecord::viewTwist() const
{
    assertReadEnabled();
    return m_twist;
}
void OdDbAbstractViewTableRecord::setViewTwist(double angle)
{
    assertWriteEnabled();
    m_twist = angle;
}
double OdDbAbstractViewTableRecord::lensLength() const
{
    assertReadEnabled();
    return m_lens;
}
void OdDbAbstractViewTableRecord::setLensLength(double length)
{
    assertWriteEnabled();
    m_lens = length;
}
bool OdDbAbstractViewTableRecord::perspectiveEnabled() const
{
    assertReadEnabled();
    return m_perspective;
}
void OdDbAbstractViewTableRecord::setPerspectiveEnabled(bool enabled)
{
    assertWriteEnabled();
    m_perspective = enabled;
}

OdGePoint3d OdDbAbstractViewTableRecord::viewPosition() const
{
    assertReadEnabled();
    return m_target + m_direction;
}

// Up vector without twist: world Z projected on the view plane, or world Y for a plan view.
static OdGeVector3d untwistedUp(const OdGeVector3d& direction)
{
    OdGeVector3d d = direction.normal();
    OdGeVector3d up = OdGeVector3d::kZAxis - d * d.dotProduct(OdGeVector3d::kZAxis);
    if (up.length() < 1e-9) up = OdGeVector3d::kYAxis - d * d.dotProduct(OdGeVector3d::kYAxis);
    return up.normal();
}

OdGeVector3d OdDbAbstractViewTableRecord::upVector() const
{
    assertReadEnabled();
    OdGeVector3d up = untwistedUp(m_direction);
    // The twist turns the view clockwise in the view plane, so the up vector turns the other way.
    return up.rotateBy(-m_twist, m_direction.normal());
}

void OdDbAbstractViewTableRecord::setView(const OdGePoint3d& position, const OdGePoint3d& target,
                                          const OdGeVector3d& upVector)
{
    assertWriteEnabled();
    OdGeVector3d direction = position - target;
    if (direction.isZeroLength()) throw OdError(eInvalidInput, L"Camera and target coincide");
    m_target = target;
    m_direction = direction;
    OdGeVector3d d = direction.normal();
    OdGeVector3d up = upVector - d * d.dotProduct(upVector);
    if (up.isZeroLength()) {
        m_twist = 0.0;
        return;
    }
    m_twist = -untwistedUp(direction).angleTo(up.normal(), d);
    if (m_twist <= -OdaPI) m_twist += Oda2PI;
}

OdResult OdDbAbstractViewTableRecord::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbSymbolTableRecord::dwgInFields(filer);
    if (res != eOk) return res;
    m_center = filer->rdPoint2d();
    m_height = filer->rdDouble();
    m_width = filer->rdDouble();
    m_target = filer->rdPoint3d();
    m_direction = filer->rdVector3d();
    m_twist = filer->rdDouble();
    m_lens = filer->rdDouble();
    m_perspective = filer->rdBool();
    return eOk;
}

void OdDbAbstractViewTableRecord::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbSymbolTableRecord::dwgOutFields(filer);
    filer->wrPoint2d(m_center);
    filer->wrDouble(m_height);
    filer->wrDouble(m_width);
    filer->wrPoint3d(m_target);
    filer->wrVector3d(m_direction);
    filer->wrDouble(m_twist);
    filer->wrDouble(m_lens);
    filer->wrBool(m_perspective);
}
