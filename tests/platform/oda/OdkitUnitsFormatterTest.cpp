#include "odkit.h"

#include <gtest/gtest.h>

#include <cmath>

struct LinearCase
{
    const char* name;
    int lunits;
    int precision;
    double value;
    const wchar_t* text;
};

class OdkitLinearFormat : public ::testing::TestWithParam<LinearCase>
{
};

TEST_P(OdkitLinearFormat, FormatsAndParsesBack)
{
    const LinearCase& c = GetParam();
    OdString text = OdDbUnitsFormatter::formatL(c.value, c.lunits, c.precision);
    EXPECT_EQ(text, OdString(c.text));
    EXPECT_NEAR(OdDbUnitsFormatter::unformatL(text, c.lunits), c.value, std::pow(0.5, c.precision) + 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, OdkitLinearFormat,
    ::testing::Values(LinearCase{"decimal4", OdDb::kDecimal, 4, 1.23456, L"1.2346"},
                      LinearCase{"decimal0", OdDb::kDecimal, 0, 2.5, L"2"},
                      LinearCase{"decimalNegative", OdDb::kDecimal, 2, -0.126, L"-0.13"},
                      LinearCase{"scientific", OdDb::kScientific, 2, 1230.0, L"1.23E+03"},
                      LinearCase{"engineering", OdDb::kEngineering, 2, 14.5, L"1'-2.50\""},
                      LinearCase{"architectural", OdDb::kArchitectural, 3, 14.625, L"1'-2 5/8\""},
                      LinearCase{"architecturalWhole", OdDb::kArchitectural, 3, 24.0, L"2'-0\""},
                      LinearCase{"fractional", OdDb::kFractional, 2, 2.25, L"2 1/4"},
                      LinearCase{"fractionalRoundsUp", OdDb::kFractional, 1, 2.9, L"3"}),
    [](const ::testing::TestParamInfo<LinearCase>& info) { return std::string(info.param.name); });

TEST(OdkitUnitsFormatter, DatabaseFormatterFollowsLuprecAndLunits)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    EXPECT_EQ(db->formatter().formatLinear(1.5), OdString(L"1.5000"));
    db->setLUPREC(1);
    EXPECT_EQ(db->formatter().formatLinear(1.56), OdString(L"1.6"));
    db->setLUNITS(OdDb::kArchitectural);
    db->setLUPREC(2);
    EXPECT_EQ(db->formatter().formatLinear(13.25), OdString(L"1'-1 1/4\""));
    EXPECT_NEAR(db->formatter().unformatLinear(L"1'-1 1/4\""), 13.25, 1e-12);
    EXPECT_NEAR(db->formatter().unformatLinear(L"3.5"), 3.5, 1e-12) << "decimals are accepted in any style";
}

TEST(OdkitUnitsFormatter, AnglesInEveryStyle)
{
    EXPECT_EQ(OdDbUnitsFormatter::formatA(OdaPI / 2, OdDb::kDegrees, 0), OdString(L"90"));
    EXPECT_EQ(OdDbUnitsFormatter::formatA(OdaPI / 4, OdDb::kDegrees, 2), OdString(L"45.00"));
    EXPECT_EQ(OdDbUnitsFormatter::formatA(OdaPI, OdDb::kRadians, 3), OdString(L"3.142r"));
    EXPECT_EQ(OdDbUnitsFormatter::formatA(OdaPI / 2, OdDb::kGrads, 0), OdString(L"100g"));
    EXPECT_EQ(OdDbUnitsFormatter::formatA(OdaToRadian(10.5), OdDb::kDegMinSec, 4), OdString(L"10d30'0\""));
    EXPECT_NEAR(OdDbUnitsFormatter::unformatA(L"90", OdDb::kDegrees), OdaPI / 2, 1e-12);
    EXPECT_NEAR(OdDbUnitsFormatter::unformatA(L"10d30'", OdDb::kDegrees), OdaToRadian(10.5), 1e-12);
    EXPECT_NEAR(OdDbUnitsFormatter::unformatA(L"1.5r", OdDb::kDegrees), 1.5, 1e-12);
    EXPECT_NEAR(OdDbUnitsFormatter::unformatA(L"100g", OdDb::kDegrees), OdaPI / 2, 1e-12);
    EXPECT_NEAR(OdDbUnitsFormatter::unformatA(L"-45", OdDb::kDegrees), -OdaPI / 4, 1e-12);
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    EXPECT_EQ(db->formatter().formatAngle(OdaPI), OdString(L"180"));
}

TEST(OdkitUnitsFormatter, TextThatIsNotAValueIsRefused)
{
    for (const wchar_t* bad : {L"", L"abc", L"1.5x", L"1'-x\"", L"3/0", L"  "}) {
        EXPECT_THROW(OdDbUnitsFormatter::unformatL(bad, OdDb::kDecimal), OdError) << OdString(bad).toUtf8();
    }
    EXPECT_THROW(OdDbUnitsFormatter::unformatA(L"north", OdDb::kDegrees), OdError);
    try {
        OdDbUnitsFormatter::unformatL(L"abc", OdDb::kDecimal);
    } catch (const OdError& e) {
        EXPECT_EQ(e.code(), eInvalidInput);
    }
}
