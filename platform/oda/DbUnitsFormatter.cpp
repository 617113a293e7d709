#include "DbUnitsFormatter.h"

#include "DbDatabase.h"
#include "Ge/GeContext.h"
#include "RxObjectImpl.h"
#include "internal/DbUnitsFormatterImpl.h"

#include <cmath>
#include <cstdlib>
#include <cwctype>

ODRX_NO_CONS_DEFINE_MEMBERS(OdDbUnitsFormatter, OdRxObject)

namespace {

OdString fixed(double value, int precision)
{
    return OdString::formatted(L"%.*f", precision, value);
}

// Whole part and fraction n/d of value, d = 2^precision reduced; rounding may carry.
void fraction(double value, int precision, long long& whole, long long& num, long long& den)
{
    den = 1LL << precision;
    long long total = std::llround(value * double(den));
    whole = total / den;
    num = total % den;
    while (num != 0 && num % 2 == 0) {
        num /= 2;
        den /= 2;
    }
}

OdString fractionText(double value, int precision, bool spaceBeforeFraction)
{
    long long whole, num, den;
    fraction(value, precision, whole, num, den);
    if (num == 0) return OdString::formatted(L"%lld", whole);
    if (whole == 0) return OdString::formatted(L"%lld/%lld", num, den);
    return OdString::formatted(spaceBeforeFraction ? L"%lld %lld/%lld" : L"%lld-%lld/%lld", whole, num, den);
}

void skipSpaces(const std::wstring& s, size_t& i)
{
    while (i < s.size() && std::iswspace(wint_t(s[i])))
        ++i;
}

bool readNumber(const std::wstring& s, size_t& i, double& value)
{
    skipSpaces(s, i);
    const wchar_t* start = s.c_str() + i;
    wchar_t* end = nullptr;
    value = std::wcstod(start, &end);
    if (end == start) return false;
    i += size_t(end - start);
    return true;
}

// "3", "3.5", "1/2", "3 1/2", "3-1/2"
bool readMixed(const std::wstring& s, size_t& i, double& value)
{
    double a;
    if (!readNumber(s, i, a)) return false;
    size_t save = i;
    if (i < s.size() && s[i] == L'/') {
        ++i;
        double b;
        if (!readNumber(s, i, b) || b == 0.0) return false;
        value = a / b;
        return true;
    }
    size_t j = i;
    if (j < s.size() && (s[j] == L' ' || s[j] == L'-')) {
        ++j;
        double n, d;
        size_t k = j;
        if (readNumber(s, k, n) && k < s.size() && s[k] == L'/') {
            ++k;
            if (readNumber(s, k, d) && d != 0.0) {
                value = a + (a < 0 ? -n / d : n / d);
                i = k;
                return true;
            }
        }
    }
    i = save;
    value = a;
    return true;
}

[[noreturn]] void invalid(const OdString& text)
{
    throw OdError(eInvalidInput, OdString(L"Not a value: ") + text);
}

class DatabaseUnitsFormatter : public OdDbUnitsFormatter
{
public:
    void setDatabase(OdDbDatabase* db) { m_db = db; }
    OdString formatLinear(double value) const override
    {
        return formatL(value, m_db->getLUNITS(), m_db->getLUPREC());
    }
    double unformatLinear(const OdString& text) const override { return unformatL(text, m_db->getLUNITS()); }
    OdString formatAngle(double value) const override
    {
        return formatA(value, m_db->getAUNITS(), m_db->getAUPREC());
    }
    double unformatAngle(const OdString& text) const override { return unformatA(text, m_db->getAUNITS()); }

private:
    OdDbDatabase* m_db = nullptr;
};

// The text without its surrounding spaces; i is past its sign, if any. Empty text is invalid.
std::wstring signedText(const OdString& text, size_t& i, bool& negative)
{
    OdString trimmed(text);
    trimmed.trimLeft().trimRight();
    std::wstring s = trimmed.toStdWString();
    if (s.empty()) invalid(text);
    i = 0;
    negative = s[0] == L'-';
    if (negative || s[0] == L'+') i = 1;
    return s;
}

} // namespace

OdString OdDbUnitsFormatter::formatL(double value, int lunits, int precision)
{
    precision = precision < 0 ? 0 : (precision > 8 ? 8 : precision);
    switch (lunits) {
    case OdDb::kScientific:
        return OdString::formatted(L"%.*E", precision, value);
    case OdDb::kEngineering:
    case OdDb::kArchitectural: {
        bool negative = value < 0.0;
        double v = std::fabs(value);
        long long feet = (long long)std::floor(v / 12.0);
        double inches = v - double(feet) * 12.0;
        OdString inchText;
        if (lunits == OdDb::kEngineering) {
            inchText = fixed(inches, precision);
            if (std::wcstod(inchText.c_str(), nullptr) >= 12.0) {
                ++feet;
                inchText = fixed(0.0, precision);
            }
        } else {
            long long whole, num, den;
            fraction(inches, precision, whole, num, den);
            if (whole >= 12) {
                ++feet;
                inches = 0.0;
            }
            inchText = fractionText(inches, precision, true);
        }
        OdString s = OdString::formatted(L"%lld'-", feet) + inchText + L"\"";
        return negative ? OdString(L"-") + s : s;
    }
    case OdDb::kFractional: {
        bool negative = value < 0.0;
        OdString s = fractionText(std::fabs(value), precision, true);
        return negative && s != L"0" ? OdString(L"-") + s : s;
    }
    case OdDb::kDecimal:
    default:
        return fixed(value, precision);
    }
}

double OdDbUnitsFormatter::unformatL(const OdString& text, int)
{
    // Every style's form is accepted whatever the current style: feet and inches, fractions,
    // decimals and exponents.
    size_t i = 0;
    bool negative = false;
    const std::wstring s = signedText(text, i, negative);
    double first;
    if (!readMixed(s, i, first)) invalid(text);
    double result = first;
    skipSpaces(s, i);
    if (i < s.size() && s[i] == L'\'') {
        ++i;
        double inches = 0.0;
        skipSpaces(s, i);
        if (i < s.size() && s[i] == L'-') ++i;
        skipSpaces(s, i);
        if (i < s.size()) {
            if (!readMixed(s, i, inches)) invalid(text);
            skipSpaces(s, i);
            if (i < s.size() && s[i] == L'"') ++i;
        }
        result = first * 12.0 + inches;
    } else if (i < s.size() && s[i] == L'"') {
        ++i;
    }
    skipSpaces(s, i);
    if (i != s.size()) invalid(text);
    return negative ? -result : result;
}

OdString OdDbUnitsFormatter::formatA(double value, int aunits, int precision)
{
    precision = precision < 0 ? 0 : (precision > 8 ? 8 : precision);
    switch (aunits) {
    case OdDb::kGrads:
        return fixed(value * 200.0 / OdaPI, precision) + L"g";
    case OdDb::kRadians:
        return fixed(value, precision) + L"r";
    case OdDb::kDegMinSec: {
        bool negative = value < 0.0;
        double deg = std::fabs(OdaToDegree(value));
        long long totalSeconds = std::llround(deg * 3600.0);
        long long d = totalSeconds / 3600, m = (totalSeconds / 60) % 60, sec = totalSeconds % 60;
        OdString s = OdString::formatted(L"%lldd", d);
        if (precision >= 1) s += OdString::formatted(L"%lld'", m);
        if (precision >= 3) s += OdString::formatted(L"%lld\"", sec);
        return negative ? OdString(L"-") + s : s;
    }
    case OdDb::kDegrees:
    case OdDb::kSurveyor:
    default:
        return fixed(OdaToDegree(value), precision);
    }
}

double OdDbUnitsFormatter::unformatA(const OdString& text, int aunits)
{
    size_t i = 0;
    bool negative = false;
    const std::wstring s = signedText(text, i, negative);
    double a;
    if (!readNumber(s, i, a) || a < 0.0) invalid(text);
    skipSpaces(s, i);
    double result;
    if (i < s.size() && (s[i] == L'd' || s[i] == L'D' || s[i] == 0xB0)) {
        ++i;
        double degrees = a, minutes = 0.0, seconds = 0.0;
        size_t k = i;
        double v;
        if (readNumber(s, k, v) && k < s.size() && s[k] == L'\'') {
            minutes = v;
            i = k + 1;
            k = i;
            if (readNumber(s, k, v) && k < s.size() && s[k] == L'"') {
                seconds = v;
                i = k + 1;
            }
        }
        result = OdaToRadian(degrees + minutes / 60.0 + seconds / 3600.0);
    } else if (i < s.size() && (s[i] == L'r' || s[i] == L'R')) {
        ++i;
        result = a;
    } else if (i < s.size() && (s[i] == L'g' || s[i] == L'G')) {
        ++i;
        result = a * OdaPI / 200.0;
    } else {
        switch (aunits) {
        case OdDb::kRadians:
            result = a;
            break;
        case OdDb::kGrads:
            result = a * OdaPI / 200.0;
            break;
        default:
            result = OdaToRadian(a);
        }
    }
    skipSpaces(s, i);
    if (i != s.size()) invalid(text);
    return negative ? -result : result;
}

namespace odkit {
OdDbUnitsFormatterPtr createDatabaseUnitsFormatter(OdDbDatabase* db)
{
    OdSmartPtr<DatabaseUnitsFormatter> f = OdRxObjectImpl<DatabaseUnitsFormatter>::createObject();
    f->setDatabase(db);
    return OdDbUnitsFormatterPtr(f.get());
}
} // namespace odkit
