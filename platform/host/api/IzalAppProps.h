#pragma once

#include "zalHostApiExport.h"

#include <QObject>

class OdString;
class OdVariant;

#define IzalAppProps_id "zal.IAppProps"

// Application variables ("Vars/UEVersion"), kept by the host across runs.
class ZAL_HOSTAPI IzalAppProps
{
public:
    virtual ~IzalAppProps() = default;

    // defaultValue when the variable is missing or not an integer.
    virtual int intVariable(const OdString& key, int defaultValue) const = 0;
    // Defines the variable with its type name ("int", "double", "bool", "string"), replacing a value
    // already there. False when the key is empty or the value cannot be stored.
    virtual bool createVariable(const OdString& key, const OdVariant& value, const OdString& typeName) = 0;
};

Q_DECLARE_INTERFACE(IzalAppProps, IzalAppProps_id)
