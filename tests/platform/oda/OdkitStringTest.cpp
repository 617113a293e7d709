#include "odkit.h"

#include <gtest/gtest.h>

TEST(OdkitString, Utf8RoundTripKeepsEveryPlane)
{
    const std::string utf8 = "Fl\xC3\xA4"
                             "che m\xC2\xB2 \xE2\x82\xAC \xF0\x9F\x8C\x8A";
    OdString s = OdString::fromUtf8(utf8);
    EXPECT_EQ(s.getLength(), 13);
    EXPECT_EQ(s.getAt(2), OdChar(0xE4));
    EXPECT_EQ(s.getAt(12), OdChar(0x1F30A));
    EXPECT_EQ(s.toUtf8(), utf8);
    EXPECT_EQ(OdString(utf8.c_str()), s);
    EXPECT_EQ(OdAnsiString(s).toStdString(), utf8);
    EXPECT_EQ(OdString(OdAnsiString(utf8)), s);
}

TEST(OdkitString, BrokenUtf8BecomesReplacementCharacters)
{
    OdString s = OdString::fromUtf8(std::string("a\xC3") + "b\xFF");
    EXPECT_EQ(s.getLength(), 4);
    EXPECT_EQ(s.getAt(1), OdChar(0xFFFD));
    EXPECT_EQ(s.getAt(2), L'b');
    EXPECT_EQ(s.getAt(3), OdChar(0xFFFD));
    EXPECT_EQ(OdString::fromUtf8("\xE2\x82").getAt(0), OdChar(0xFFFD)) << "truncated sequence";
}

TEST(OdkitString, CompareFindAndCut)
{
    OdString s(L"Model_Space");
    EXPECT_EQ(s.iCompare(L"MODEL_space"), 0);
    EXPECT_NE(s.compare(L"MODEL_space"), 0);
    EXPECT_EQ(s.find(L'_'), 5);
    EXPECT_EQ(s.find(L"Space"), 6);
    EXPECT_EQ(s.find(L"none"), -1);
    EXPECT_EQ(s.left(5), OdString(L"Model"));
    EXPECT_EQ(s.right(5), OdString(L"Space"));
    EXPECT_EQ(s.mid(6, 100), OdString(L"Space"));
    EXPECT_EQ(s.left(-3), OdString());
    OdString t(L"  padded \t");
    EXPECT_EQ(t.trimLeft().trimRight(), OdString(L"padded"));
    OdString r(L"a*b*c");
    EXPECT_EQ(r.replace(L'*', L'_'), 2);
    EXPECT_EQ(r, OdString(L"a_b_c"));
    EXPECT_EQ(r.replace(L"_", L"--"), 2);
    EXPECT_EQ(r, OdString(L"a--b--c"));
    EXPECT_EQ(OdString(L"abc").makeUpper(), OdString(L"ABC"));
}

TEST(OdkitString, FormatAndConcatenate)
{
    OdString s = OdString::formatted(L"%d_%ls_%llX", 3, L"AcDbMaterial", 0x2Full);
    EXPECT_EQ(s, OdString(L"3_AcDbMaterial_2F"));
    OdString big;
    big.format(L"%ls", OdString(L'x', 5000).c_str());
    EXPECT_EQ(big.getLength(), 5000);
    EXPECT_EQ(OdString(L"a") + L"b" + OdString(L"c") + L'd', OdString(L"abcd"));
    EXPECT_TRUE(OdString(L"same") == "same");
    EXPECT_TRUE(L"same" == OdString(L"same"));
    OdAnsiString a;
    a.format("%s-%d", "x", 5);
    EXPECT_EQ(a, OdAnsiString("x-5"));
}

TEST(OdkitError, CarriesCodeAndText)
{
    OdError e(eNotOpenForWrite);
    EXPECT_EQ(e.code(), eNotOpenForWrite);
    EXPECT_FALSE(e.description().isEmpty());
    EXPECT_STRNE(e.what(), "");
    OdError custom(eInvalidInput, L"Bad value");
    EXPECT_EQ(custom.description(), OdString(L"Bad value"));
    EXPECT_EQ(int(eOk), 0);
    EXPECT_EQ(int(eNotImplementedYet), 3);
    EXPECT_EQ(int(eNotRegistered), 255);
    EXPECT_EQ(int(eAlreadyRegistered), 314);
    EXPECT_EQ(int(eWrongObjectType), 317);
    EXPECT_EQ(int(eInitFailed), 436);
    EXPECT_NE(int(eNotThatKindOfClass), int(eInvalidIndex));
    EXPECT_EQ(OdError_InvalidIndex().code(), eInvalidIndex);
    EXPECT_EQ(OdEdCancel().code(), eUserBreak);
}
