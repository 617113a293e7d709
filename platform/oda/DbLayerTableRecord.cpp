#include "DbLayerTableRecord.h"

#include "DbFiler.h"
#include "internal/DbDefine.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbLayerTableRecord, OdDbSymbolTableRecord, DBOBJECT_CONSTR, L"AcDbLayerTableRecord",
                        L"LAYER")

OdDbLayerTableRecord::OdDbLayerTableRecord()
{
    m_color.setColorIndex(7);
}

OdDbLayerTableRecord::~OdDbLayerTableRecord() = default;

bool OdDbLayerTableRecord::isOff() const
{
    assertReadEnabled();
    return m_off;
}
void OdDbLayerTableRecord::setIsOff(bool off)
{
    assertWriteEnabled();
    m_off = off;
}
bool OdDbLayerTableRecord::isFrozen() const
{
    assertReadEnabled();
    return m_frozen;
}
void OdDbLayerTableRecord::setIsFrozen(bool frozen)
{
    assertWriteEnabled();
    m_frozen = frozen;
}
bool OdDbLayerTableRecord::isLocked() const
{
    assertReadEnabled();
    return m_locked;
}
void OdDbLayerTableRecord::setIsLocked(bool locked)
{
    assertWriteEnabled();
    m_locked = locked;
}
bool OdDbLayerTableRecord::isHidden() const
{
    assertReadEnabled();
    return m_hidden;
}
void OdDbLayerTableRecord::setIsHidden(bool hidden)
{
    assertWriteEnabled();
    m_hidden = hidden;
}
OdCmColor OdDbLayerTableRecord::color() const
{
    assertReadEnabled();
    return m_color;
}
void OdDbLayerTableRecord::setColor(const OdCmColor& color)
{
    assertWriteEnabled();
    m_color = color;
}
OdDbObjectId OdDbLayerTableRecord::materialId() const
{
    assertReadEnabled();
    return m_materialId;
}
void OdDbLayerTableRecord::setMaterialId(const OdDbObjectId& materialId)
{
    assertWriteEnabled();
    m_materialId = materialId;
}

OdResult OdDbLayerTableRecord::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbSymbolTableRecord::dwgInFields(filer);
    if (res != eOk) return res;
    m_off = filer->rdBool();
    m_frozen = filer->rdBool();
    m_locked = filer->rdBool();
    m_hidden = filer->rdBool();
    OdCmEntityColor c;
    c.setColor(OdUInt32(filer->rdInt32()));
    m_color = OdCmColor(c);
    m_materialId = filer->rdHardPointerId();
    return eOk;
}

void OdDbLayerTableRecord::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbSymbolTableRecord::dwgOutFields(filer);
    filer->wrBool(m_off);
    filer->wrBool(m_frozen);
    filer->wrBool(m_locked);
    filer->wrBool(m_hidden);
    filer->wrInt32(OdInt32(m_color.color()));
    filer->wrHardPointerId(m_materialId);
}
