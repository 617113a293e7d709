#include "DbViewportTable.h"

#include "internal/DbDefine.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbViewportTable, OdDbSymbolTable, DBOBJECT_CONSTR, L"AcDbViewportTable", L"TABLE")

OdDbViewportTable::OdDbViewportTable() = default;
OdDbViewportTable::~OdDbViewportTable() = default;

OdDbObjectId OdDbViewportTable::getActiveViewportId() const
{
    return getAt(L"*Active");
}

OdRxClass* OdDbViewportTable::recordClass() const
{
    return OdDbViewportTableRecord::desc();
}
