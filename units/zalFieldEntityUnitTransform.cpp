#include "units/zalFieldEntityUnitTransform.h"

#include "IzalApplication.h"

#include "DbFiler.h"

namespace {

struct PrecisionRow
{
    const char* text;
    int precision;
    short unitStyle;
};

// Decimal, engineering, architectural and fractional styles, precision 0 to 8 each; lookups by text take
// the first match, so the shared "0' -0''" answers as engineering precision 0.
const PrecisionRow kPrecisionRows[] = {
    {"0", 0, 2},
    {"0.0", 1, 2},
    {"0.00", 2, 2},
    {"0.000", 3, 2},
    {"0.0000", 4, 2},
    {"0.00000", 5, 2},
    {"0.000000", 6, 2},
    {"0.0000000", 7, 2},
    {"0.00000000", 8, 2},
    {"0' -0''", 0, 3},
    {"0' -0.0''", 1, 3},
    {"0' -0.00''", 2, 3},
    {"0' -0.000''", 3, 3},
    {"0' -0.0000''", 4, 3},
    {"0' -0.00000''", 5, 3},
    {"0' -0.000000''", 6, 3},
    {"0' -0.0000000''", 7, 3},
    {"0' -0.00000000''", 8, 3},
    {"0' -0''", 0, 4},
    {"0' -0 1/2''", 1, 4},
    {"0' -0 1/4''", 2, 4},
    {"0' -0 1/8''", 3, 4},
    {"0' -0 1/16''", 4, 4},
    {"0' -0 1/32''", 5, 4},
    {"0' -0 1/64''", 6, 4},
    {"0' -0 1/128''", 7, 4},
    {"0' -0 1/256''", 8, 4},
    {"0", 0, 5},
    {"0 1/2", 1, 5},
    {"0 1/4", 2, 5},
    {"0 1/8", 3, 5},
    {"0 1/16", 4, 5},
    {"0 1/32", 5, 5},
    {"0 1/64", 6, 5},
    {"0 1/128", 7, 5},
    {"0 1/256", 8, 5},
};
const int kPrecisionRowCount = int(sizeof(kPrecisionRows) / sizeof(kPrecisionRows[0]));

const double kFeetPerMetre = 3.28084;

// The table's texts are ASCII, so a widening copy is the exact conversion.
OdString toOdString(const char* text)
{
    return OdString(text);
}

// Without a host there is no drawing unit to ask for; the undefined unit converts 1:1.
OdDb::UnitsValue drawingUnit(OdDbDatabase* database)
{
    IzalApplication* app = zalApp();
    if (!app || !database) return OdDb::kUnitsUndefined;
    return OdDb::UnitsValue(app->lengthUnit(database));
}

OdDb::UnitsValue targetUnit(OdDb::UnitsValue drawing, int flags)
{
    if (zalFieldEntityUnitTransform::isDecimalUnit(drawing)) {
        if (flags & 8) return OdDb::kUnitsKilometers;
        if (flags & 4) return OdDb::kUnitsMeters;
        if (flags & 1) return OdDb::kUnitsCentimeters;
        if (flags & 2) return OdDb::kUnitsMillimeters;
    } else {
        if (flags & 64) return OdDb::kUnitsYards;
        if (flags & 32) return OdDb::kUnitsFeet;
        if (flags & 16) return OdDb::kUnitsInches;
    }
    return drawing;
}

OdString poweredSuffix(OdDb::UnitsValue unit, const wchar_t* power)
{
    const wchar_t* base = nullptr;
    switch (unit) {
    case OdDb::kUnitsInches:
        base = L"in";
        break;
    case OdDb::kUnitsFeet:
        base = L"ft";
        break;
    case OdDb::kUnitsMillimeters:
        base = L"mm";
        break;
    case OdDb::kUnitsCentimeters:
        base = L"cm";
        break;
    case OdDb::kUnitsMeters:
        base = L"m";
        break;
    case OdDb::kUnitsKilometers:
        base = L"km";
        break;
    case OdDb::kUnitsYards:
        base = L"ya";
        break;
    default:
        return OdString();
    }
    return OdString(base) + OdString(power);
}

// LUPREC is the drawing's own setting: whatever happens while formatting, it goes back as it was.
class LuprecOverride
{
public:
    LuprecOverride(OdDbDatabase* database, int precision) : m_database(database)
    {
        if (precision < 0) return;
        m_saved = m_database->getLUPREC();
        m_database->setLUPREC(OdInt16(precision));
        m_active = true;
    }
    ~LuprecOverride()
    {
        if (m_active) m_database->setLUPREC(m_saved);
    }
    LuprecOverride(const LuprecOverride&) = delete;
    LuprecOverride& operator=(const LuprecOverride&) = delete;

private:
    OdDbDatabase* m_database;
    OdInt16 m_saved = 0;
    bool m_active = false;
};

} // namespace

zalFieldEntityUnitTransform::zalFieldEntityUnitTransform()
    : distanceFactor(1.0), weightFactor(1.0), areaDensityFactor(1.0), areaFactor(1.0), unitLength(1.0),
      lastUnit(OdDb::kUnitsInches)
{
}

zalFieldEntityUnitTransform::zalFieldEntityUnitTransform(const zalFieldEntityUnitTransform& other) = default;
zalFieldEntityUnitTransform::zalFieldEntityUnitTransform(zalFieldEntityUnitTransform&& other) noexcept =
    default;
zalFieldEntityUnitTransform&
zalFieldEntityUnitTransform::operator=(const zalFieldEntityUnitTransform& other) = default;
zalFieldEntityUnitTransform&
zalFieldEntityUnitTransform::operator=(zalFieldEntityUnitTransform&& other) noexcept = default;
zalFieldEntityUnitTransform::~zalFieldEntityUnitTransform() = default;

void zalFieldEntityUnitTransform::initConvertFrom(OdDbDatabase* database, OdDb::UnitsValue fromUnit)
{
    lastUnit = fromUnit;
    distanceFactor = weightFactor = areaDensityFactor = areaFactor = unitLength = 1.0;
    ODAUnitChanged(database);
}

bool zalFieldEntityUnitTransform::ODAUnitChanged(OdDbDatabase* database)
{
    const OdDb::UnitsValue unit = drawingUnit(database);
    const OdDb::UnitsValue previous = OdDb::UnitsValue(lastUnit);
    weightFactor = 1.0;
    if (unit == previous) {
        distanceFactor = 1.0;
        return false;
    }
    areaDensityFactor = 1.0;
    const bool metric = isDecimalUnit(unit);
    const bool wasMetric = isDecimalUnit(previous);
    unitLength = (metric ? 1.0 : kFeetPerMetre) / getAbsoluteValue(unit);
    areaFactor = unitLength * unitLength;
    if (!metric && wasMetric) {
        areaDensityFactor = 0.2048161283689181;
        weightFactor = 2.20462;
    } else if (metric && !wasMetric) {
        areaDensityFactor = 4.882428;
        weightFactor = 0.453592;
    }
    distanceFactor = getAbsoluteValue(unit) / getAbsoluteValue(previous);
    lastUnit = unit;
    return true;
}

void zalFieldEntityUnitTransform::Reset(OdDbDatabase* database)
{
    distanceFactor = weightFactor = areaDensityFactor = areaFactor = unitLength = 1.0;
    lastUnit = drawingUnit(database);
}

OdDb::UnitsValue zalFieldEntityUnitTransform::getLastUnit() const
{
    return OdDb::UnitsValue(lastUnit);
}

double zalFieldEntityUnitTransform::convertDistance(double value) const
{
    return value * distanceFactor;
}

double zalFieldEntityUnitTransform::convertArea(double value) const
{
    return value * areaFactor;
}

double zalFieldEntityUnitTransform::convertWeight(double value) const
{
    return value * weightFactor;
}

double zalFieldEntityUnitTransform::convertAreaDensity(double value) const
{
    return value * areaDensityFactor;
}

double zalFieldEntityUnitTransform::convertDensity(double value) const
{
    return value / (distanceFactor * distanceFactor);
}

double zalFieldEntityUnitTransform::convertVolume(double value) const
{
    return value / (distanceFactor * distanceFactor);
}

bool zalFieldEntityUnitTransform::dwgInFields(OdDbDwgFiler* filer)
{
    if (filer->rdInt32() < 0) return true;
    distanceFactor = filer->rdDouble();
    weightFactor = filer->rdDouble();
    areaDensityFactor = filer->rdDouble();
    areaFactor = filer->rdDouble();
    unitLength = filer->rdDouble();
    lastUnit = filer->rdInt32();
    return true;
}

bool zalFieldEntityUnitTransform::dwgOutFields(OdDbDwgFiler* filer) const
{
    filer->wrInt32(0);
    filer->wrDouble(distanceFactor);
    filer->wrDouble(weightFactor);
    filer->wrDouble(areaDensityFactor);
    filer->wrDouble(areaFactor);
    filer->wrDouble(unitLength);
    filer->wrInt32(lastUnit);
    return true;
}

double zalFieldEntityUnitTransform::getAbsoluteValue(OdDb::UnitsValue unit)
{
    switch (unit) {
    case OdDb::kUnitsInches:
        return 39.37008;
    case OdDb::kUnitsFeet:
        return 3.28084;
    case OdDb::kUnitsMillimeters:
        return 1000.0;
    case OdDb::kUnitsCentimeters:
        return 100.0;
    case OdDb::kUnitsKilometers:
        return 0.001;
    case OdDb::kUnitsYards:
        return 1.093613;
    default:
        return 1.0;
    }
}

bool zalFieldEntityUnitTransform::isDecimalUnit(OdDbDatabase* database)
{
    return isDecimalUnit(drawingUnit(database));
}

bool zalFieldEntityUnitTransform::isDecimalUnit(OdDb::UnitsValue unit)
{
    return unit == OdDb::kUnitsMillimeters || unit == OdDb::kUnitsCentimeters || unit == OdDb::kUnitsMeters ||
           unit == OdDb::kUnitsKilometers;
}

void zalFieldEntityUnitTransform::ValidateDistance(OdDbDatabase* database, double& value, double minimum,
                                                   double maximum)
{
    ValidateDistance(drawingUnit(database), value, minimum, maximum);
}

void zalFieldEntityUnitTransform::ValidateDistance(OdDb::UnitsValue unit, double& value, double minimum,
                                                   double maximum)
{
    const double perMetre = getAbsoluteValue(unit);
    if (value < minimum * perMetre) value = minimum * perMetre;
    if (value > maximum * perMetre) value = maximum * perMetre;
}

double zalFieldEntityUnitTransform::fixDistance(OdDbDatabase* database, double value, int unitFlags)
{
    const OdDb::UnitsValue unit = drawingUnit(database);
    return value * getAbsoluteValue(targetUnit(unit, unitFlags)) / getAbsoluteValue(unit);
}

double zalFieldEntityUnitTransform::fixArea(OdDbDatabase* database, double value)
{
    const OdDb::UnitsValue unit = drawingUnit(database);
    const double ratio = (isDecimalUnit(unit) ? 1.0 : kFeetPerMetre) / getAbsoluteValue(unit);
    return value * ratio * ratio;
}

double zalFieldEntityUnitTransform::fixAreaDensity(OdDbDatabase* database, double value)
{
    return fixArea(database, value);
}

double zalFieldEntityUnitTransform::getDefaultDistance(OdDbDatabase* database, double metres)
{
    return metres * getAbsoluteValue(drawingUnit(database));
}

OdString zalFieldEntityUnitTransform::getDistanceSuffix(OdDbDatabase* database, int unitFlags)
{
    return poweredSuffix(targetUnit(drawingUnit(database), unitFlags), L"");
}

OdString zalFieldEntityUnitTransform::getAreaSuffix(OdDbDatabase* database, bool baseUnit)
{
    const OdDb::UnitsValue unit = drawingUnit(database);
    if (baseUnit) return OdString(isDecimalUnit(unit) ? L"m\u00B2" : L"ft\u00B2");
    return poweredSuffix(unit, L"\u00B2");
}

OdString zalFieldEntityUnitTransform::getVolumSuffix(OdDbDatabase* database, bool baseUnit)
{
    const OdDb::UnitsValue unit = drawingUnit(database);
    if (baseUnit) return OdString(isDecimalUnit(unit) ? L"m\u00B3" : L"ft\u00B3");
    return poweredSuffix(unit, L"\u00B3");
}

OdString zalFieldEntityUnitTransform::getWeightSuffix(OdDbDatabase* database)
{
    return OdString(isDecimalUnit(database) ? L"kg" : L"lb");
}

OdString zalFieldEntityUnitTransform::getAreaDensitySuffix(OdDbDatabase* database)
{
    return OdString(isDecimalUnit(database) ? L"kg/m\u00B2" : L"lb/ft\u00B2");
}

QStringList zalFieldEntityUnitTransform::getPrecisionList(short unitStyle)
{
    QStringList list;
    for (const PrecisionRow& row : kPrecisionRows) {
        if (row.unitStyle == unitStyle) list.append(QString::fromLatin1(row.text));
    }
    return list;
}

void zalFieldEntityUnitTransform::addPrecisionList(short unitStyle, OdArray<OdString>& list)
{
    for (const PrecisionRow& row : kPrecisionRows) {
        if (row.unitStyle == unitStyle) list.append(toOdString(row.text));
    }
}

int zalFieldEntityUnitTransform::findPrecisionElement(OdString& text)
{
    for (int i = 0; i < kPrecisionRowCount; ++i) {
        if (text.iCompare(toOdString(kPrecisionRows[i].text)) == 0) return i;
    }
    return -1;
}

int zalFieldEntityUnitTransform::getPrecisionFromString(OdString text)
{
    const int row = findPrecisionElement(text);
    return row < 0 ? 0 : kPrecisionRows[row].precision;
}

OdString zalFieldEntityUnitTransform::getPrecisionToString(short unitStyle, int precision)
{
    for (const PrecisionRow& row : kPrecisionRows) {
        if (row.unitStyle == unitStyle && row.precision == precision) return toOdString(row.text);
    }
    return OdString();
}

OdString zalFieldEntityUnitTransform::linearFormat(OdDbDatabase* database, double value, int precision)
{
    if (!database) return OdString();
    LuprecOverride override(database, precision);
    return database->formatter().formatLinear(value);
}
