#include "DbViewportTableRecord.h"

#include "DbFiler.h"
#include "internal/DbDefine.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbViewportTableRecord, OdDbAbstractViewTableRecord, DBOBJECT_CONSTR,
                        L"AcDbViewportTableRecord", L"VPORT")

OdDbViewportTableRecord::OdDbViewportTableRecord() = default;
OdDbViewportTableRecord::~OdDbViewportTableRecord() = default;

OdGePoint2d OdDbViewportTableRecord::lowerLeftCorner() const
{
    assertReadEnabled();
    return m_lowerLeft;
}
void OdDbViewportTableRecord::setLowerLeftCorner(const OdGePoint2d& point)
{
    assertWriteEnabled();
    m_lowerLeft = point;
}
OdGePoint2d OdDbViewportTableRecord::upperRightCorner() const
{
    assertReadEnabled();
    return m_upperRight;
}
void OdDbViewportTableRecord::setUpperRightCorner(const OdGePoint2d& point)
{
    assertWriteEnabled();
    m_upperRight = point;
}

OdResult OdDbViewportTableRecord::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbAbstractViewTableRecord::dwgInFields(filer);
    if (res != eOk) return res;
    m_lowerLeft = filer->rdPoint2d();
    m_upperRight = filer->rdPoint2d();
    return eOk;
}

void OdDbViewportTableRecord::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbAbstractViewTableRecord::dwgOutFields(filer);
    filer->wrPoint2d(m_lowerLeft);
    filer->wrPoint2d(m_upperRight);
}
