#pragma once

#include "zalExport.h"

#include "DbDatabase.h"
#include "DbObjectId.h"
#include "PropBase.h"

#include <QCoreApplication>

class zalDbWaterFountain;

// The property page of one water fountain. A fountain in a database is opened by id for each call and
// upgraded to write only for a real change; a fountain not yet appended (during its placement) is held.
// Made by the property services through the fountain's registration, or by createObject.
class ZAL_EXPORT OdDbXmlPropWaterFountain : public OdPropBase
{
    Q_DECLARE_TR_FUNCTIONS(OdDbXmlPropWaterFountain)
public:
    // database gives the unit formatter for a fountain that is not in a database yet.
    static OdSmartPtr<OdDbXmlPropWaterFountain> createObject(zalDbWaterFountain* fountain,
                                                             OdDbDatabase* database = nullptr);

    using OdPropBase::getPropertyValues;
    bool getPropertyValues(OdPropContext& context) override;
    bool setPropertyValue(const OdString& path, const OdString& value,
                          OdPropSource::Action_t& action) override;
    bool getPropertyPossibleValues(const OdString& path, OdArray<OdString>& values,
                                   OdArray<OdString>& second) override;

protected:
    OdDbXmlPropWaterFountain() = default;

private:
    // The fountain open in mode; null when it is gone.
    OdSmartPtr<zalDbWaterFountain> open(OdDb::OpenMode mode) const;
    OdDbDatabase* unitDatabase(const zalDbWaterFountain* fountain) const;

    OdDbObjectId m_id;
    OdSmartPtr<zalDbWaterFountain> m_transient;
    OdDbDatabase* m_database = nullptr;
};
typedef OdSmartPtr<OdDbXmlPropWaterFountain> OdDbXmlPropWaterFountainPtr;
