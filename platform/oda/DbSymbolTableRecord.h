// A named record of a symbol table (block, layer, viewport ...).
#pragma once

#include "DbObject.h"

class ODKIT_EXPORT OdDbSymbolTableRecord : public OdDbObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbSymbolTableRecord);
    OdDbSymbolTableRecord();
    ~OdDbSymbolTableRecord() override;

    OdString getName() const;
    // Tables look records up by their current name; uniqueness is checked only by add.
    void setName(const OdString& name);
    bool isDependent() const { return false; }

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    void forgetNameInTable() const;
    void renamedInTable(const OdString& before) const;

    OdString m_name;
};
typedef OdSmartPtr<OdDbSymbolTableRecord> OdDbSymbolTableRecordPtr;
