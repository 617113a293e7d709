// Wide (wchar_t) string of the platform. Conversions: UTF-8 in and out, const char* read as UTF-8.
#pragma once

#include "OdaCommon.h"

#include <string>

class OdAnsiString;

class ODKIT_EXPORT OdString
{
public:
    OdString() = default;
    OdString(const OdChar* source);
    OdString(const OdChar* source, int length);
    OdString(OdChar ch, int repeat);
    OdString(const char* utf8);
    OdString(const std::wstring& source);
    OdString(const OdAnsiString& source);

    static const OdString kEmpty;
    static OdString fromUtf8(const std::string& utf8);
    std::string toUtf8() const;
    const std::wstring& toStdWString() const { return m_data; }

    const OdChar* c_str() const { return m_data.c_str(); }
    operator const OdChar*() const { return m_data.c_str(); }

    int getLength() const { return int(m_data.size()); }
    int getLengthA() const { return int(toUtf8().size()); }
    bool isEmpty() const { return m_data.empty(); }
    void empty() { m_data.clear(); }
    OdChar getAt(int index) const;
    void setAt(int index, OdChar ch);

    OdString& operator=(const OdChar* source);
    OdString& operator=(const char* utf8);
    OdString& operator+=(const OdString& other);
    OdString& operator+=(const OdChar* other);
    OdString& operator+=(OdChar ch);
    OdString& operator+=(const char* utf8);

    bool operator==(const OdString& other) const { return m_data == other.m_data; }
    bool operator==(const OdChar* other) const;
    bool operator==(const char* utf8) const;
    bool operator!=(const OdString& other) const { return m_data != other.m_data; }
    bool operator!=(const OdChar* other) const { return !(*this == other); }
    bool operator!=(const char* utf8) const { return !(*this == utf8); }
    bool operator<(const OdString& other) const { return m_data < other.m_data; }
    bool operator>(const OdString& other) const { return m_data > other.m_data; }

    int compare(const OdString& other) const;
    int iCompare(const OdString& other) const;

    OdString& makeUpper();
    OdString& makeLower();
    OdString& trimLeft();
    OdString& trimRight();
    OdString& trimLeft(OdChar ch);
    OdString& trimRight(OdChar ch);

    // Index of the first match at or after start, -1 when absent.
    int find(OdChar ch, int start = 0) const;
    int find(const OdString& sub, int start = 0) const;
    int reverseFind(OdChar ch) const;
    OdString left(int count) const;
    OdString right(int count) const;
    OdString mid(int first) const;
    OdString mid(int first, int count) const;
    int replace(OdChar oldCh, OdChar newCh);
    int replace(const OdString& oldText, const OdString& newText);
    int remove(OdChar ch);
    int insert(int index, const OdString& text);
    int deleteChars(int index, int count = 1);

    // printf style formatting with wide format strings (%ls for wide strings, %s for char*).
    OdString& format(const OdChar* fmt, ...);
    static OdString formatted(const OdChar* fmt, ...);

private:
    std::wstring m_data;
};

ODKIT_EXPORT OdString operator+(const OdString& a, const OdString& b);
ODKIT_EXPORT OdString operator+(const OdString& a, const OdChar* b);
ODKIT_EXPORT OdString operator+(const OdChar* a, const OdString& b);
ODKIT_EXPORT OdString operator+(const OdString& a, OdChar b);
inline bool operator==(const OdChar* a, const OdString& b)
{
    return b == a;
}
inline bool operator!=(const OdChar* a, const OdString& b)
{
    return !(b == a);
}

#include "OdAnsiString.h"
