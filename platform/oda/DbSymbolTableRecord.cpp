#include "DbSymbolTableRecord.h"

#include "DbFiler.h"
#include "internal/DbDefine.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbSymbolTableRecord, OdDbObject, NO_CONSTR, L"AcDbSymbolTableRecord", L"")

OdDbSymbolTableRecord::OdDbSymbolTableRecord() = default;
OdDbSymbolTableRecord::~OdDbSymbolTableRecord() = default;

OdString OdDbSymbolTableRecord::getName() const
{
    assertReadEnabled();
    return m_name;
}

void OdDbSymbolTableRecord::setName(const OdString& name)
{
    assertWriteEnabled();
    m_name = name;
}

OdResult OdDbSymbolTableRecord::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbObject::dwgInFields(filer);
    if (res == eOk) m_name = filer->rdString();
    return res;
}

void OdDbSymbolTableRecord::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbObject::dwgOutFields(filer);
    filer->wrString(m_name);
}
