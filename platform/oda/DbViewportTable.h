// The table of model-space viewports; holds "*Active".
#pragma once

#include "DbSymbolTable.h"
#include "DbViewportTableRecord.h"

class ODKIT_EXPORT OdDbViewportTable : public OdDbSymbolTable
{
public:
    ODRX_DECLARE_MEMBERS(OdDbViewportTable);
    OdDbViewportTable();
    ~OdDbViewportTable() override;

    OdDbObjectId getActiveViewportId() const;

protected:
    OdRxClass* recordClass() const override;
};
typedef OdSmartPtr<OdDbViewportTable> OdDbViewportTablePtr;
