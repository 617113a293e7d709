// Formats and parses linear and angular values as the drawing shows them (LUNITS/LUPREC,
// AUNITS/AUPREC). Angles are radians. Parsing answers OdError(eInvalidInput) for a text that
// is not a value.
#pragma once

#include "DbEnums.h"
#include "OdString.h"
#include "RxObject.h"

class ODKIT_EXPORT OdDbUnitsFormatter : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbUnitsFormatter);

    virtual OdString formatLinear(double value) const = 0;
    virtual double unformatLinear(const OdString& text) const = 0;
    virtual OdString formatAngle(double value) const = 0;
    virtual double unformatAngle(const OdString& text) const = 0;

    // Linear value in the given style (OdDb::LUnits) with precision digits (fraction
    // denominator 2^precision for architectural and fractional). Engineering and architectural
    // values are inches shown as feet and inches: 1'-2.50" / 1'-2 1/2".
    static OdString formatL(double value, int lunits, int precision);
    static double unformatL(const OdString& text, int lunits);
    // Angle in the given style (OdDb::AUnits) with precision digits.
    static OdString formatA(double value, int aunits, int precision);
    static double unformatA(const OdString& text, int aunits);
};
typedef OdSmartPtr<OdDbUnitsFormatter> OdDbUnitsFormatterPtr;
