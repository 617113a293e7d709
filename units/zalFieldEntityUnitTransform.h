#pragma once

#include "zalExport.h"

#include "DbDatabase.h"
#include "OdArray.h"
#include "OdString.h"

#include <QStringList>

class OdDbDwgFiler;

// Unit handling for entity properties whose values depend on the drawing's unit: conversion factors for
// a change of drawing unit, unit suffixes, and the precision labels of the linear unit styles. The
// drawing's unit is always the one the host application reports for the database. A plain value type:
// the entity that holds it files it with its own record.
class ZAL_EXPORT zalFieldEntityUnitTransform
{
public:
    zalFieldEntityUnitTransform();
    zalFieldEntityUnitTransform(const zalFieldEntityUnitTransform& other);
    zalFieldEntityUnitTransform(zalFieldEntityUnitTransform&& other) noexcept;
    zalFieldEntityUnitTransform& operator=(const zalFieldEntityUnitTransform& other);
    zalFieldEntityUnitTransform& operator=(zalFieldEntityUnitTransform&& other) noexcept;
    ~zalFieldEntityUnitTransform();

    // Starts from `fromUnit` and computes the factors to the drawing's current unit.
    void initConvertFrom(OdDbDatabase* database, OdDb::UnitsValue fromUnit);
    // True when the drawing's unit differs from the last one seen; the factors then convert from that one.
    bool ODAUnitChanged(OdDbDatabase* database);
    // Forgets any pending conversion: factors 1 and the drawing's current unit.
    void Reset(OdDbDatabase* database);
    OdDb::UnitsValue getLastUnit() const;

    double convertDistance(double value) const;
    double convertArea(double value) const;
    double convertWeight(double value) const;
    double convertAreaDensity(double value) const;
    double convertDensity(double value) const;
    double convertVolume(double value) const;

    // Stored form: Int32 0, the five factors, Int32 last unit. A negative leading integer means
    // "nothing stored" and leaves the object as it is.
    bool dwgInFields(OdDbDwgFiler* filer);
    bool dwgOutFields(OdDbDwgFiler* filer) const;

    // Units per metre; 1.0 for metres and for units without a fixed metric size.
    static double getAbsoluteValue(OdDb::UnitsValue unit);
    static bool isDecimalUnit(OdDbDatabase* database);
    static bool isDecimalUnit(OdDb::UnitsValue unit);
    // Clamps `value` to [minimum, maximum], both given in metres, in the given (or the drawing's) unit.
    static void ValidateDistance(OdDbDatabase* database, double& value, double minimum, double maximum);
    static void ValidateDistance(OdDb::UnitsValue unit, double& value, double minimum, double maximum);

    // Distance-unit flags: metric drawings 8 km, 4 m, 1 cm, 2 mm; imperial drawings 64 yd, 32 ft,
    // 16 in; none of them: the drawing's own unit.
    static double fixDistance(OdDbDatabase* database, double value, int unitFlags);
    static double fixArea(OdDbDatabase* database, double value);
    static double fixAreaDensity(OdDbDatabase* database, double value);
    static double getDefaultDistance(OdDbDatabase* database, double metres);

    static OdString getDistanceSuffix(OdDbDatabase* database, int unitFlags);
    static OdString getAreaSuffix(OdDbDatabase* database, bool baseUnit);
    static OdString getVolumSuffix(OdDbDatabase* database, bool baseUnit);
    static OdString getWeightSuffix(OdDbDatabase* database);
    static OdString getAreaDensitySuffix(OdDbDatabase* database);

    // Precision labels of the linear unit styles 2 decimal, 3 engineering, 4 architectural, 5 fractional.
    static QStringList getPrecisionList(short unitStyle);
    static void addPrecisionList(short unitStyle, OdArray<OdString>& list);
    static int findPrecisionElement(OdString& text);
    static int getPrecisionFromString(OdString text);
    static OdString getPrecisionToString(short unitStyle, int precision);

    // Formats through the database's units formatter; a precision of 0 or more replaces the drawing's
    // LUPREC for this call only.
    static OdString linearFormat(OdDbDatabase* database, double value, int precision);

private:
    double distanceFactor;
    double weightFactor;
    double areaDensityFactor;
    double areaFactor;
    double unitLength;
    OdInt32 lastUnit;
};
