#include "DbSymbolTableRecord.h"

#include "DbSymbolTable.h"
#include "internal/DbImpl.h"

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
    forgetNameInTable();
}

void OdDbSymbolTableRecord::forgetNameInTable() const
{
    OdDbObject* table = OdDbObjectAccess::object(ownerId());
    if (table && table->isKindOf(OdDbSymbolTable::desc()))
        static_cast<OdDbSymbolTable*>(table)->forgetNames();
}

OdResult OdDbSymbolTableRecord::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbObject::dwgInFields(filer);
    if (res == eOk) {
        m_name = filer->rdString();
        forgetNameInTable();
    }
    return res;
}

void OdDbSymbolTableRecord::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbObject::dwgOutFields(filer);
    filer->wrString(m_name);
}
