// The table of block definitions; holds "*Model_Space" and "*Paper_Space".
#pragma once

#include "DbBlockTableRecord.h"
#include "DbSymbolTable.h"

class ODKIT_EXPORT OdDbBlockTable : public OdDbSymbolTable
{
public:
    ODRX_DECLARE_MEMBERS(OdDbBlockTable);
    OdDbBlockTable();
    ~OdDbBlockTable() override;

    OdDbObjectId getModelSpaceId() const;
    OdDbObjectId getPaperSpaceId() const;

protected:
    OdRxClass* recordClass() const override;
};
typedef OdSmartPtr<OdDbBlockTable> OdDbBlockTablePtr;
