#include "DbBlockTable.h"

#include "internal/DbDefine.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbBlockTable, OdDbSymbolTable, DBOBJECT_CONSTR, L"AcDbBlockTable", L"TABLE")

OdDbBlockTable::OdDbBlockTable() = default;
OdDbBlockTable::~OdDbBlockTable() = default;

OdDbObjectId OdDbBlockTable::getModelSpaceId() const
{
    return getAt(OdDbBlockTableRecord::modelSpaceName);
}

OdDbObjectId OdDbBlockTable::getPaperSpaceId() const
{
    return getAt(OdDbBlockTableRecord::paperSpaceName);
}

OdRxClass* OdDbBlockTable::recordClass() const
{
    return OdDbBlockTableRecord::desc();
}
