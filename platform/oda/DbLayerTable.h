// The table of layers; holds layer "0".
#pragma once

#include "DbLayerTableRecord.h"
#include "DbSymbolTable.h"

class ODKIT_EXPORT OdDbLayerTable : public OdDbSymbolTable
{
public:
    ODRX_DECLARE_MEMBERS(OdDbLayerTable);
    OdDbLayerTable();
    ~OdDbLayerTable() override;

protected:
    OdRxClass* recordClass() const override;
};
typedef OdSmartPtr<OdDbLayerTable> OdDbLayerTablePtr;
