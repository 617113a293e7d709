#include "DbLayerTable.h"

#include "internal/DbDefine.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbLayerTable, OdDbSymbolTable, DBOBJECT_CONSTR, L"AcDbLayerTable", L"TABLE")

OdDbLayerTable::OdDbLayerTable() = default;
OdDbLayerTable::~OdDbLayerTable() = default;

OdRxClass* OdDbLayerTable::recordClass() const
{
    return OdDbLayerTableRecord::desc();
}
