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
    const OdString before = m_name;
    m_name = name;
    renamedInTable(before);
}

void OdDbSymbolTableRecord::renamedInTable(const OdString& before) const
{
    // The table moves this record between its names: dropping its whole index would make every rename
    // cost the table's size.
    OdDbObject* table = OdDbObjectAccess::object(ownerId());
    if (table && table->isKindOf(OdDbSymbolTable::desc()))
        static_cast<OdDbSymbolTable*>(table)->renamed(objectId(), before, m_name);
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
