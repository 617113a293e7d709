#include "DbText.h"

#include "DbFiler.h"

#include "GiWorldDraw.h"

#include "RxClass.h"

#include "Ge/GeExtents3d.h"

ODRX_DEFINE_MEMBERS_EX(OdDbText, OdDbEntity, DBOBJECT_CONSTR, 0, 0, 0, OdString(L"TEXT"),
                       OdString(L"AutoCAD"), OdString(L"AcDbText"))

OdDbText::OdDbText() = default;

OdDbText::~OdDbText() = default;

OdGePoint3d OdDbText::position() const
{
    assertReadEnabled();
    return m_position;
}

void OdDbText::setPosition(const OdGePoint3d& position)
{
    assertWriteEnabled();
    m_position = position;
}

double OdDbText::height() const
{
    assertReadEnabled();
    return m_height;
}

void OdDbText::setHeight(double height)
{
    assertWriteEnabled();
    m_height = height;
}

double OdDbText::rotation() const
{
    assertReadEnabled();
    return m_rotation;
}

void OdDbText::setRotation(double angle)
{
    assertWriteEnabled();
    m_rotation = angle;
}

OdGeVector3d OdDbText::normal() const
{
    assertReadEnabled();
    return m_normal;
}

void OdDbText::setNormal(const OdGeVector3d& normal)
{
    if (normal.isZeroLength()) throw OdError(eInvalidInput);
    assertWriteEnabled();
    m_normal = normal.normal();
}

OdString OdDbText::textString() const
{
    assertReadEnabled();
    return m_text;
}

void OdDbText::setTextString(const OdString& text)
{
    assertWriteEnabled();
    m_text = text;
}

bool OdDbText::subWorldDraw(OdGiWorldDraw* wd) const
{
    assertReadEnabled();
    const OdGeVector3d x = OdGeMatrix3d::planeToWorld(m_normal) * OdGeVector3d::kXAxis;
    const OdGeVector3d direction = OdGeVector3d(x).rotateBy(m_rotation, m_normal);
    wd->geometry().text(m_position, m_normal, direction, m_height, 1.0, 0.0, m_text);
    return true;
}

OdResult OdDbText::subGetGeomExtents(OdGeExtents3d& extents) const
{
    assertReadEnabled();
    // Without fonts: a box of the text's height and an average glyph width per character.
    const OdGeVector3d x = OdGeMatrix3d::planeToWorld(m_normal) * OdGeVector3d::kXAxis;
    const OdGeVector3d direction = OdGeVector3d(x).rotateBy(m_rotation, m_normal);
    const OdGeVector3d up = m_normal.crossProduct(direction).normal();
    extents = OdGeExtents3d();
    extents.addPoint(m_position);
    extents.addPoint(m_position + direction * (0.8 * m_height * m_text.getLength()) + up * m_height);
    return eOk;
}

OdResult OdDbText::dwgInFields(OdDbDwgFiler* filer)
{
    const OdResult res = OdDbEntity::dwgInFields(filer);
    if (res != eOk) return res;
    m_position = filer->rdPoint3d();
    m_height = filer->rdDouble();
    m_rotation = filer->rdDouble();
    m_normal = filer->rdVector3d();
    m_text = filer->rdString();
    return eOk;
}

void OdDbText::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbEntity::dwgOutFields(filer);
    filer->wrPoint3d(m_position);
    filer->wrDouble(m_height);
    filer->wrDouble(m_rotation);
    filer->wrVector3d(m_normal);
    filer->wrString(m_text);
}
