// A layer: visibility switches (off, frozen, hidden), lock, colour and material.
#pragma once

#include "CmColor.h"
#include "DbSymbolTableRecord.h"

class ODKIT_EXPORT OdDbLayerTableRecord : public OdDbSymbolTableRecord
{
public:
    ODRX_DECLARE_MEMBERS(OdDbLayerTableRecord);
    OdDbLayerTableRecord();
    ~OdDbLayerTableRecord() override;

    bool isOff() const;
    void setIsOff(bool off);
    bool isFrozen() const;
    void setIsFrozen(bool frozen);
    bool isLocked() const;
    void setIsLocked(bool locked);
    // Hidden from the layer lists and the views of the host.
    bool isHidden() const;
    void setIsHidden(bool hidden);
    OdCmColor color() const;
    void setColor(const OdCmColor& color);
    OdDbObjectId materialId() const;
    void setMaterialId(const OdDbObjectId& materialId);

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    bool m_off = false;
    bool m_frozen = false;
    bool m_locked = false;
    bool m_hidden = false;
    OdCmColor m_color;
    OdDbObjectId m_materialId;
};
typedef OdSmartPtr<OdDbLayerTableRecord> OdDbLayerTableRecordPtr;
