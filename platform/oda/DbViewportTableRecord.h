// A model-space viewport; the active one is named "*Active".
#pragma once

#include "DbAbstractViewTableRecord.h"

class ODKIT_EXPORT OdDbViewportTableRecord : public OdDbAbstractViewTableRecord
{
public:
    ODRX_DECLARE_MEMBERS(OdDbViewportTableRecord);
    OdDbViewportTableRecord();
    ~OdDbViewportTableRecord() override;

    OdGePoint2d lowerLeftCorner() const;
    void setLowerLeftCorner(const OdGePoint2d& point);
    OdGePoint2d upperRightCorner() const;
    void setUpperRightCorner(const OdGePoint2d& point);

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdGePoint2d m_lowerLeft;
    OdGePoint2d m_upperRight{1.0, 1.0};
};
typedef OdSmartPtr<OdDbViewportTableRecord> OdDbViewportTableRecordPtr;
