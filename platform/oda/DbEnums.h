// Enumerations of the drawing database.
#pragma once

#include "OdaCommon.h"

namespace OdDb {

enum OpenMode
{
    kNotOpen = -1,
    kForRead = 0,
    kForWrite = 1,
    kForNotify = 2
};

// Drawing units (INSUNITS).
enum UnitsValue
{
    kUnitsUndefined = 0,
    kUnitsInches = 1,
    kUnitsFeet = 2,
    kUnitsMiles = 3,
    kUnitsMillimeters = 4,
    kUnitsCentimeters = 5,
    kUnitsMeters = 6,
    kUnitsKilometers = 7,
    kUnitsMicroinches = 8,
    kUnitsMils = 9,
    kUnitsYards = 10,
    kUnitsAngstroms = 11,
    kUnitsNanometers = 12,
    kUnitsMicrons = 13,
    kUnitsDecimeters = 14,
    kUnitsDekameters = 15,
    kUnitsHectometers = 16,
    kUnitsGigameters = 17,
    kUnitsAstronomical = 18,
    kUnitsLightYears = 19,
    kUnitsParsecs = 20,
    kUnitsMax = kUnitsParsecs
};

// Linear unit styles (LUNITS).
enum LUnits
{
    kScientific = 1,
    kDecimal = 2,
    kEngineering = 3,
    kArchitectural = 4,
    kFractional = 5
};

// Angular unit styles (AUNITS).
enum AUnits
{
    kDegrees = 0,
    kDegMinSec = 1,
    kGrads = 2,
    kRadians = 3,
    kSurveyor = 4
};

enum Visibility
{
    kInvisible = 1,
    kVisible = 0
};

enum MeasurementValue
{
    kEnglish = 0,
    kMetric = 1
};

enum DwgVersion
{
    kDHL_Unknown = -1,
    kDHL_1015 = 23,
    kDHL_1018 = 25,
    kDHL_1021 = 27,
    kDHL_1024 = 29,
    kDHL_1027 = 31,
    kDHL_1032 = 33,
    kDHL_CURRENT = kDHL_1032
};

enum MaintReleaseVer
{
    kMRelease0 = 0,
    kMRelease55 = 55,
    kMReleaseCurrent = kMRelease55
};

enum DuplicateRecordCloning
{
    kDrcNotApplicable = 0,
    kDrcIgnore = 1,
    kDrcReplace = 2
};

} // namespace OdDb
