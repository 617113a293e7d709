#include "units/zalFieldEntityUnitTransform.h"

#include "tests/common/zalTestHost.h"
#include "zalHostApplication.h"

#include "DbDatabase.h"
#include "DbDwgMemoryFiler.h"

#include <QCoreApplication>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>

// Readable failure messages for the layer's wide strings.
void PrintTo(const OdString& text, std::ostream* out)
{
    *out << '"' << text.toUtf8() << '"';
}

namespace {

using T = zalFieldEntityUnitTransform;

class UnitTransform : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The reference host reports a drawing's length unit from its insertion units.
        host = zalTestHost::make(zalTestHost::options(folder));
        db = OdDbDatabase::createObject();
    }
    void TearDown() override
    {
        db.release();
        host.reset();
    }

    void setUnit(OdDb::UnitsValue unit) { db->setINSUNITS(unit); }

    QTemporaryDir folder;
    std::unique_ptr<zalHostApplication> host;
    OdDbDatabasePtr db;
};

} // namespace

TEST_F(UnitTransform, MillimetresToInchesGivesImperialFactors)
{
    setUnit(OdDb::kUnitsMillimeters);
    T transform;
    transform.Reset(db);
    EXPECT_EQ(transform.getLastUnit(), OdDb::kUnitsMillimeters);
    setUnit(OdDb::kUnitsInches);
    EXPECT_TRUE(transform.ODAUnitChanged(db));
    EXPECT_EQ(transform.getLastUnit(), OdDb::kUnitsInches);
    EXPECT_DOUBLE_EQ(transform.convertDistance(1.0), 0.03937008);
    EXPECT_DOUBLE_EQ(transform.convertWeight(1.0), 2.20462);
    EXPECT_DOUBLE_EQ(transform.convertAreaDensity(1.0), 0.2048161283689181);
    // One inch is 1/12 ft, so an area converts by (1/12)².
    const double unitLength = 3.28084 / 39.37008;
    EXPECT_DOUBLE_EQ(transform.convertArea(1.0), unitLength * unitLength);
    EXPECT_DOUBLE_EQ(transform.convertVolume(2.0), 2.0 / (0.03937008 * 0.03937008));
    EXPECT_DOUBLE_EQ(transform.convertDensity(3.0), 3.0 / (0.03937008 * 0.03937008));

    // Same unit again: nothing to convert any more, but the area factors stay as computed.
    EXPECT_FALSE(transform.ODAUnitChanged(db));
    EXPECT_DOUBLE_EQ(transform.convertDistance(5.0), 5.0);
    EXPECT_DOUBLE_EQ(transform.convertWeight(5.0), 5.0);
    EXPECT_DOUBLE_EQ(transform.convertAreaDensity(1.0), 0.2048161283689181);
    EXPECT_DOUBLE_EQ(transform.convertArea(1.0), unitLength * unitLength);
}

TEST_F(UnitTransform, InchesToMillimetresGivesMetricFactors)
{
    setUnit(OdDb::kUnitsMillimeters);
    T transform;
    EXPECT_TRUE(transform.ODAUnitChanged(db));
    EXPECT_DOUBLE_EQ(transform.convertDistance(1.0), 1000.0 / 39.37008);
    EXPECT_DOUBLE_EQ(transform.convertWeight(1.0), 0.453592);
    EXPECT_DOUBLE_EQ(transform.convertAreaDensity(1.0), 4.882428);
    EXPECT_DOUBLE_EQ(transform.convertArea(1.0), 1e-6);
}

TEST_F(UnitTransform, MetricToMetricKeepsWeightsAndDensities)
{
    setUnit(OdDb::kUnitsMeters);
    T transform;
    transform.initConvertFrom(db, OdDb::kUnitsMillimeters);
    EXPECT_EQ(transform.getLastUnit(), OdDb::kUnitsMeters);
    EXPECT_DOUBLE_EQ(transform.convertDistance(1500.0), 1.5);
    EXPECT_DOUBLE_EQ(transform.convertWeight(4.0), 4.0);
    EXPECT_DOUBLE_EQ(transform.convertAreaDensity(4.0), 4.0);
    EXPECT_DOUBLE_EQ(transform.convertArea(4.0), 4.0);

    transform.initConvertFrom(db, OdDb::kUnitsFeet);
    EXPECT_DOUBLE_EQ(transform.convertDistance(1.0), 1.0 / 3.28084);
    EXPECT_DOUBLE_EQ(transform.convertWeight(1.0), 0.453592);
}

TEST_F(UnitTransform, ChangedTwiceIsTrueThenFalseForEveryUnitButInches)
{
    const OdDb::UnitsValue units[] = {OdDb::kUnitsUndefined,   OdDb::kUnitsFeet,        OdDb::kUnitsMiles,
                                      OdDb::kUnitsMillimeters, OdDb::kUnitsCentimeters, OdDb::kUnitsMeters,
                                      OdDb::kUnitsKilometers,  OdDb::kUnitsYards};
    for (OdDb::UnitsValue unit : units) {
        setUnit(unit);
        T transform;
        EXPECT_TRUE(transform.ODAUnitChanged(db)) << "unit " << int(unit);
        EXPECT_FALSE(transform.ODAUnitChanged(db)) << "unit " << int(unit);
        EXPECT_DOUBLE_EQ(transform.convertDistance(1.0), 1.0) << "unit " << int(unit);
    }
    // A new helper starts from inches, so an inch drawing has nothing to convert.
    setUnit(OdDb::kUnitsInches);
    T transform;
    EXPECT_FALSE(transform.ODAUnitChanged(db));
}

TEST_F(UnitTransform, ResetForgetsThePendingConversion)
{
    setUnit(OdDb::kUnitsCentimeters);
    T transform;
    ASSERT_TRUE(transform.ODAUnitChanged(db));
    setUnit(OdDb::kUnitsYards);
    transform.Reset(db);
    EXPECT_EQ(transform.getLastUnit(), OdDb::kUnitsYards);
    EXPECT_DOUBLE_EQ(transform.convertDistance(3.0), 3.0);
    EXPECT_DOUBLE_EQ(transform.convertArea(3.0), 3.0);
    EXPECT_DOUBLE_EQ(transform.convertAreaDensity(3.0), 3.0);
    EXPECT_FALSE(transform.ODAUnitChanged(db));
}

TEST_F(UnitTransform, CopiesCarryTheFactors)
{
    setUnit(OdDb::kUnitsKilometers);
    T transform;
    transform.ODAUnitChanged(db);
    T copy(transform);
    EXPECT_DOUBLE_EQ(copy.convertDistance(1.0), 0.001 / 39.37008);
    T assigned;
    assigned = copy;
    EXPECT_EQ(assigned.getLastUnit(), OdDb::kUnitsKilometers);
    T moved(std::move(assigned));
    EXPECT_DOUBLE_EQ(moved.convertWeight(1.0), 0.453592);
}

TEST(UnitTable, UnitsPerMetre)
{
    EXPECT_EQ(T::getAbsoluteValue(OdDb::kUnitsInches), 39.37008);
    EXPECT_EQ(T::getAbsoluteValue(OdDb::kUnitsFeet), 3.28084);
    EXPECT_EQ(T::getAbsoluteValue(OdDb::kUnitsMillimeters), 1000.0);
    EXPECT_EQ(T::getAbsoluteValue(OdDb::kUnitsCentimeters), 100.0);
    EXPECT_EQ(T::getAbsoluteValue(OdDb::kUnitsKilometers), 0.001);
    EXPECT_EQ(T::getAbsoluteValue(OdDb::kUnitsYards), 1.093613);
    EXPECT_EQ(T::getAbsoluteValue(OdDb::kUnitsMeters), 1.0);
    EXPECT_EQ(T::getAbsoluteValue(OdDb::kUnitsMiles), 1.0);
    EXPECT_EQ(T::getAbsoluteValue(OdDb::kUnitsUndefined), 1.0);
}

TEST(UnitTable, OnlyTheFourMetricUnitsAreDecimal)
{
    EXPECT_TRUE(T::isDecimalUnit(OdDb::kUnitsMillimeters));
    EXPECT_TRUE(T::isDecimalUnit(OdDb::kUnitsCentimeters));
    EXPECT_TRUE(T::isDecimalUnit(OdDb::kUnitsMeters));
    EXPECT_TRUE(T::isDecimalUnit(OdDb::kUnitsKilometers));
    EXPECT_FALSE(T::isDecimalUnit(OdDb::kUnitsMiles));
    EXPECT_FALSE(T::isDecimalUnit(OdDb::kUnitsInches));
    EXPECT_FALSE(T::isDecimalUnit(OdDb::kUnitsFeet));
    EXPECT_FALSE(T::isDecimalUnit(OdDb::kUnitsYards));
    EXPECT_FALSE(T::isDecimalUnit(OdDb::kUnitsUndefined));
}

TEST_F(UnitTransform, MilesAreImperialWithOneUnitPerMetre)
{
    setUnit(OdDb::kUnitsMiles);
    EXPECT_FALSE(T::isDecimalUnit(db));
    EXPECT_EQ(T::getWeightSuffix(db), OdString(L"lb"));
    EXPECT_DOUBLE_EQ(T::getDefaultDistance(db, 2.5), 2.5);
    // Imperial targets apply to a mile drawing; metric ones do not.
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 2.0, 32), 2.0 * 3.28084);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 2.0, 4), 2.0);
    EXPECT_EQ(T::getDistanceSuffix(db, 0), OdString());
    T transform;
    transform.Reset(db);
    setUnit(OdDb::kUnitsMeters);
    ASSERT_TRUE(transform.ODAUnitChanged(db));
    EXPECT_DOUBLE_EQ(transform.convertDistance(1.0), 1.0);
    EXPECT_DOUBLE_EQ(transform.convertWeight(1.0), 0.453592);
}

TEST_F(UnitTransform, ValidateDistanceClampsOnBothSides)
{
    double value = 50.0;
    T::ValidateDistance(OdDb::kUnitsMillimeters, value, 0.1, 2.0);
    EXPECT_DOUBLE_EQ(value, 100.0);
    value = 100.0;
    T::ValidateDistance(OdDb::kUnitsMillimeters, value, 0.1, 2.0);
    EXPECT_DOUBLE_EQ(value, 100.0);
    value = 2000.0;
    T::ValidateDistance(OdDb::kUnitsMillimeters, value, 0.1, 2.0);
    EXPECT_DOUBLE_EQ(value, 2000.0);
    value = 2000.5;
    T::ValidateDistance(OdDb::kUnitsMillimeters, value, 0.1, 2.0);
    EXPECT_DOUBLE_EQ(value, 2000.0);

    setUnit(OdDb::kUnitsFeet);
    value = 1.0;
    T::ValidateDistance(db, value, 1.0, 10.0);
    EXPECT_DOUBLE_EQ(value, 3.28084);
    value = 40.0;
    T::ValidateDistance(db, value, 1.0, 10.0);
    EXPECT_DOUBLE_EQ(value, 32.8084);
}

TEST_F(UnitTransform, FixDistancePicksTheTargetFromTheFlags)
{
    setUnit(OdDb::kUnitsMeters);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 7.25, 0), 7.25);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 7.25, 2), 7250.0);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 7.25, 1), 725.0);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 7.25, 8), 0.00725);
    // Kilometres are tested first, then metres, centimetres, millimetres.
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 7.25, 8 | 4 | 2), 0.00725);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 7.25, 4 | 1 | 2), 7.25);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 7.25, 1 | 2), 725.0);
    // Imperial flags mean nothing to a metric drawing.
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 7.25, 64 | 32 | 16), 7.25);

    setUnit(OdDb::kUnitsMillimeters);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 1500.0, 4), 1.5);
    EXPECT_DOUBLE_EQ(T::getDefaultDistance(db, 1.5), 1500.0);

    setUnit(OdDb::kUnitsInches);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 24.0, 32), 24.0 * 3.28084 / 39.37008);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 36.0, 64 | 32), 36.0 * 1.093613 / 39.37008);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 36.0, 16), 36.0);
    EXPECT_DOUBLE_EQ(T::fixDistance(db, 36.0, 8 | 4), 36.0);
}

TEST_F(UnitTransform, FixAreaUsesSquareMetresOrSquareFeet)
{
    setUnit(OdDb::kUnitsMillimeters);
    EXPECT_DOUBLE_EQ(T::fixArea(db, 2.0), 2.0e-6);
    EXPECT_DOUBLE_EQ(T::fixAreaDensity(db, 2.0), 2.0e-6);
    setUnit(OdDb::kUnitsFeet);
    EXPECT_DOUBLE_EQ(T::fixArea(db, 2.0), 2.0);
    setUnit(OdDb::kUnitsInches);
    EXPECT_DOUBLE_EQ(T::fixArea(db, 144.0), 144.0 * (3.28084 / 39.37008) * (3.28084 / 39.37008));
    EXPECT_DOUBLE_EQ(T::fixAreaDensity(db, 144.0), T::fixArea(db, 144.0));
}

TEST_F(UnitTransform, SuffixesFollowTheDrawingUnit)
{
    struct Row
    {
        OdDb::UnitsValue unit;
        const wchar_t* distance;
        const wchar_t* area;
        const wchar_t* volume;
        const wchar_t* baseArea;
        const wchar_t* weight;
        const wchar_t* density;
    };
    const Row rows[] = {
        {OdDb::kUnitsInches, L"in", L"in\u00B2", L"in\u00B3", L"ft\u00B2", L"lb", L"lb/ft\u00B2"},
        {OdDb::kUnitsFeet, L"ft", L"ft\u00B2", L"ft\u00B3", L"ft\u00B2", L"lb", L"lb/ft\u00B2"},
        {OdDb::kUnitsMillimeters, L"mm", L"mm\u00B2", L"mm\u00B3", L"m\u00B2", L"kg", L"kg/m\u00B2"},
        {OdDb::kUnitsCentimeters, L"cm", L"cm\u00B2", L"cm\u00B3", L"m\u00B2", L"kg", L"kg/m\u00B2"},
        {OdDb::kUnitsMeters, L"m", L"m\u00B2", L"m\u00B3", L"m\u00B2", L"kg", L"kg/m\u00B2"},
        {OdDb::kUnitsKilometers, L"km", L"km\u00B2", L"km\u00B3", L"m\u00B2", L"kg", L"kg/m\u00B2"},
        {OdDb::kUnitsYards, L"ya", L"ya\u00B2", L"ya\u00B3", L"ft\u00B2", L"lb", L"lb/ft\u00B2"},
        {OdDb::kUnitsMiles, L"", L"", L"", L"ft\u00B2", L"lb", L"lb/ft\u00B2"},
        {OdDb::kUnitsUndefined, L"", L"", L"", L"ft\u00B2", L"lb", L"lb/ft\u00B2"},
    };
    for (const Row& row : rows) {
        setUnit(row.unit);
        SCOPED_TRACE(int(row.unit));
        EXPECT_EQ(T::getDistanceSuffix(db, 0), OdString(row.distance));
        EXPECT_EQ(T::getAreaSuffix(db, false), OdString(row.area));
        EXPECT_EQ(T::getVolumSuffix(db, false), OdString(row.volume));
        EXPECT_EQ(T::getAreaSuffix(db, true), OdString(row.baseArea));
        EXPECT_EQ(T::getWeightSuffix(db), OdString(row.weight));
        EXPECT_EQ(T::getAreaDensitySuffix(db), OdString(row.density));
    }
    setUnit(OdDb::kUnitsMillimeters);
    EXPECT_EQ(T::getVolumSuffix(db, true), OdString(L"m\u00B3"));
    EXPECT_EQ(T::getDistanceSuffix(db, 8), OdString(L"km"));
    EXPECT_EQ(T::getDistanceSuffix(db, 4), OdString(L"m"));
    EXPECT_EQ(T::getDistanceSuffix(db, 1), OdString(L"cm"));
    EXPECT_EQ(T::getDistanceSuffix(db, 2), OdString(L"mm"));
    setUnit(OdDb::kUnitsFeet);
    EXPECT_EQ(T::getVolumSuffix(db, true), OdString(L"ft\u00B3"));
    EXPECT_EQ(T::getDistanceSuffix(db, 64), OdString(L"ya"));
    EXPECT_EQ(T::getDistanceSuffix(db, 16), OdString(L"in"));
    EXPECT_EQ(T::getDistanceSuffix(db, 8), OdString(L"ft"));
}

TEST(UnitPrecision, ListsHoldNineLabelsPerStyleInOrder)
{
    EXPECT_EQ(T::getPrecisionList(2), QStringList({"0", "0.0", "0.00", "0.000", "0.0000", "0.00000",
                                                   "0.000000", "0.0000000", "0.00000000"}));
    EXPECT_EQ(T::getPrecisionList(4).size(), 9);
    EXPECT_EQ(T::getPrecisionList(4).first(), QString("0' -0''"));
    EXPECT_EQ(T::getPrecisionList(4).last(), QString("0' -0 1/256''"));
    EXPECT_EQ(T::getPrecisionList(3).at(2), QString("0' -0.00''"));
    EXPECT_EQ(T::getPrecisionList(5).at(8), QString("0 1/256"));
    EXPECT_TRUE(T::getPrecisionList(1).isEmpty());
    EXPECT_TRUE(T::getPrecisionList(6).isEmpty());

    OdArray<OdString> list;
    list.append(OdString(L"keep"));
    T::addPrecisionList(5, list);
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list[0], OdString(L"keep"));
    EXPECT_EQ(list[1], OdString(L"0"));
    EXPECT_EQ(list[4], OdString(L"0 1/8"));
    EXPECT_EQ(list[9], OdString(L"0 1/256"));
}

TEST(UnitPrecision, LabelsAndPrecisionsConvertBothWays)
{
    EXPECT_EQ(T::getPrecisionToString(4, 3), OdString(L"0' -0 1/8''"));
    EXPECT_EQ(T::getPrecisionFromString(OdString(L"0.000")), 3);
    EXPECT_EQ(T::getPrecisionToString(2, 0), OdString(L"0"));
    EXPECT_EQ(T::getPrecisionToString(3, 8), OdString(L"0' -0.00000000''"));
    EXPECT_EQ(T::getPrecisionToString(5, 8), OdString(L"0 1/256"));
    EXPECT_EQ(T::getPrecisionToString(5, 9), OdString());
    EXPECT_EQ(T::getPrecisionToString(2, -1), OdString());
    EXPECT_EQ(T::getPrecisionToString(1, 0), OdString());
    EXPECT_EQ(T::getPrecisionFromString(OdString(L"0 1/64")), 6);
    EXPECT_EQ(T::getPrecisionFromString(OdString(L"0' -0.0000''")), 4);
    EXPECT_EQ(T::getPrecisionFromString(OdString(L"0.0000000000")), 0);
    EXPECT_EQ(T::getPrecisionFromString(OdString()), 0);

    // Every label finds its own row, except those shared with an earlier row.
    for (short style = 2; style <= 5; ++style) {
        for (int precision = 0; precision <= 8; ++precision) {
            OdString text = T::getPrecisionToString(style, precision);
            EXPECT_EQ(T::getPrecisionFromString(text), precision) << style << " " << precision;
        }
    }
}

TEST(UnitPrecision, FindReturnsTheFirstMatchingRow)
{
    OdString text(L"0");
    EXPECT_EQ(T::findPrecisionElement(text), 0);
    text = L"0' -0''";
    EXPECT_EQ(T::findPrecisionElement(text), 9);
    text = L"0' -0 1/2''";
    EXPECT_EQ(T::findPrecisionElement(text), 19);
    text = L"0 1/2";
    EXPECT_EQ(T::findPrecisionElement(text), 28);
    text = L"0 1/256";
    EXPECT_EQ(T::findPrecisionElement(text), 35);
    text = L"0.0 ";
    EXPECT_EQ(T::findPrecisionElement(text), -1);
    text = L"";
    EXPECT_EQ(T::findPrecisionElement(text), -1);
}

TEST_F(UnitTransform, LinearFormatOverridesPrecisionForTheCallOnly)
{
    db->setLUNITS(2);
    db->setLUPREC(4);
    const OdString drawingPrecision = db->formatter().formatLinear(1.23456);
    db->setLUPREC(2);
    const OdString twoPlaces = db->formatter().formatLinear(1.23456);
    db->setLUPREC(4);
    ASSERT_NE(drawingPrecision, twoPlaces);

    EXPECT_EQ(T::linearFormat(db, 1.23456, -1), drawingPrecision);
    EXPECT_EQ(db->getLUPREC(), 4);
    EXPECT_EQ(T::linearFormat(db, 1.23456, 2), twoPlaces);
    EXPECT_EQ(db->getLUPREC(), 4);
    EXPECT_EQ(T::linearFormat(db, 1.23456, 0), OdString(L"1"));
    EXPECT_EQ(db->getLUPREC(), 4);
    EXPECT_EQ(T::linearFormat(nullptr, 1.0, 2), OdString());
}

TEST(UnitTransformWithoutHost, DrawingUnitIsUndefined)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    db->setINSUNITS(OdDb::kUnitsMillimeters);
    EXPECT_FALSE(T::isDecimalUnit(db));
    EXPECT_DOUBLE_EQ(T::getDefaultDistance(db, 3.0), 3.0);
    T transform;
    EXPECT_TRUE(transform.ODAUnitChanged(db));
    EXPECT_EQ(transform.getLastUnit(), OdDb::kUnitsUndefined);
}

TEST_F(UnitTransform, StoredFormRoundTrips)
{
    setUnit(OdDb::kUnitsMillimeters);
    T transform;
    transform.Reset(db);
    setUnit(OdDb::kUnitsInches);
    ASSERT_TRUE(transform.ODAUnitChanged(db));

    OdDbDwgMemoryFilerPtr filer = OdDbDwgMemoryFiler::createObject();
    EXPECT_TRUE(transform.dwgOutFields(filer.get()));
    ASSERT_EQ(filer->numItems(), 7u);
    EXPECT_EQ(filer->itemTypeAt(0), OdDbDwgMemoryFiler::kInt32);
    for (OdUInt32 i = 1; i <= 5; ++i)
        EXPECT_EQ(filer->itemTypeAt(i), OdDbDwgMemoryFiler::kDouble) << i;
    EXPECT_EQ(filer->itemTypeAt(6), OdDbDwgMemoryFiler::kInt32);

    // The fields in their stored order.
    filer->rewind();
    EXPECT_EQ(filer->rdInt32(), 0);
    EXPECT_DOUBLE_EQ(filer->rdDouble(), 0.03937008);
    EXPECT_DOUBLE_EQ(filer->rdDouble(), 2.20462);
    EXPECT_DOUBLE_EQ(filer->rdDouble(), 0.2048161283689181);
    const double unitLength = 3.28084 / 39.37008;
    EXPECT_DOUBLE_EQ(filer->rdDouble(), unitLength * unitLength);
    EXPECT_DOUBLE_EQ(filer->rdDouble(), unitLength);
    EXPECT_EQ(filer->rdInt32(), int(OdDb::kUnitsInches));

    filer->rewind();
    T restored;
    EXPECT_TRUE(restored.dwgInFields(filer.get()));
    EXPECT_TRUE(filer->atEnd());
    EXPECT_EQ(restored.getLastUnit(), OdDb::kUnitsInches);
    EXPECT_EQ(restored.convertDistance(1.0), transform.convertDistance(1.0));
    EXPECT_EQ(restored.convertWeight(1.0), transform.convertWeight(1.0));
    EXPECT_EQ(restored.convertAreaDensity(1.0), transform.convertAreaDensity(1.0));
    EXPECT_EQ(restored.convertArea(1.0), transform.convertArea(1.0));
    EXPECT_EQ(restored.convertVolume(1.0), transform.convertVolume(1.0));

    // Written again, the restored object gives the same items.
    OdDbDwgMemoryFilerPtr again = OdDbDwgMemoryFiler::createObject();
    restored.dwgOutFields(again.get());
    ASSERT_EQ(again->numItems(), 7u);
    again->rewind();
    filer->rewind();
    EXPECT_EQ(again->rdInt32(), filer->rdInt32());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(again->rdDouble(), filer->rdDouble());
    EXPECT_EQ(again->rdInt32(), filer->rdInt32());
}

TEST_F(UnitTransform, NegativeLeadingIntegerReadsNothingMore)
{
    setUnit(OdDb::kUnitsMeters);
    T transform;
    transform.initConvertFrom(db, OdDb::kUnitsCentimeters);

    OdDbDwgMemoryFilerPtr filer = OdDbDwgMemoryFiler::createObject();
    filer->wrInt32(-1);
    filer->wrDouble(42.0);
    filer->rewind();
    EXPECT_TRUE(transform.dwgInFields(filer.get()));
    EXPECT_EQ(filer->tell(), 1u);
    EXPECT_DOUBLE_EQ(transform.convertDistance(100.0), 1.0);
    EXPECT_EQ(transform.getLastUnit(), OdDb::kUnitsMeters);
}

TEST(UnitTransformExport, ClassIsVisibleInTheModuleLibrary)
{
    void* module = dlopen("zalUnrealRenderModule.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr) << dlerror();
    const char* symbols[] = {
        "_ZN27zalFieldEntityUnitTransformC1Ev",
        "_ZN27zalFieldEntityUnitTransform14ODAUnitChangedEP12OdDbDatabase",
        "_ZN27zalFieldEntityUnitTransform16getAbsoluteValueEN4OdDb10UnitsValueE",
    };
    for (const char* symbol : symbols)
        EXPECT_NE(dlsym(module, symbol), nullptr) << symbol;
    dlclose(module);
}
