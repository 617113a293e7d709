// 8-bit string of the platform (UTF-8 when it holds text converted from OdString).
#pragma once

#include "OdaCommon.h"

#include <string>

class OdString;

class ODKIT_EXPORT OdAnsiString
{
public:
    OdAnsiString() = default;
    OdAnsiString(const char* source);
    OdAnsiString(const char* source, int length);
    OdAnsiString(const std::string& source);
    // UTF-8 form of a wide string.
    explicit OdAnsiString(const OdString& source);

    const char* c_str() const { return m_data.c_str(); }
    operator const char*() const { return m_data.c_str(); }
    const std::string& toStdString() const { return m_data; }

    int getLength() const { return int(m_data.size()); }
    bool isEmpty() const { return m_data.empty(); }
    void empty() { m_data.clear(); }
    char getAt(int index) const;

    OdAnsiString& operator+=(const OdAnsiString& other);
    OdAnsiString& operator+=(const char* other);
    OdAnsiString& operator+=(char ch);
    bool operator==(const OdAnsiString& other) const { return m_data == other.m_data; }
    bool operator==(const char* other) const;
    bool operator!=(const OdAnsiString& other) const { return m_data != other.m_data; }
    bool operator<(const OdAnsiString& other) const { return m_data < other.m_data; }

    int compare(const char* other) const;
    int iCompare(const char* other) const;
    int find(char ch, int start = 0) const;
    int find(const char* sub, int start = 0) const;
    OdAnsiString left(int count) const;
    OdAnsiString right(int count) const;
    OdAnsiString mid(int first, int count = -1) const;
    OdAnsiString& makeUpper();
    OdAnsiString& makeLower();
    OdAnsiString& trimLeft();
    OdAnsiString& trimRight();
    int replace(char oldCh, char newCh);
    OdAnsiString& format(const char* fmt, ...);

private:
    std::string m_data;
};

ODKIT_EXPORT OdAnsiString operator+(const OdAnsiString& a, const OdAnsiString& b);
