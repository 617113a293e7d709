#include "OdAnsiString.h"

#include "OdString.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <strings.h>
#include <vector>

OdAnsiString::OdAnsiString(const char* source) : m_data(source ? source : "") {}
OdAnsiString::OdAnsiString(const char* source, int length)
    : m_data(source ? std::string(source, size_t(length)) : "")
{
}
OdAnsiString::OdAnsiString(const std::string& source) : m_data(source) {}
OdAnsiString::OdAnsiString(const OdString& source) : m_data(source.toUtf8()) {}

char OdAnsiString::getAt(int index) const
{
    return index >= 0 && index < getLength() ? m_data[size_t(index)] : '\0';
}

OdAnsiString& OdAnsiString::operator+=(const OdAnsiString& other)
{
    m_data += other.m_data;
    return *this;
}

OdAnsiString& OdAnsiString::operator+=(const char* other)
{
    if (other) m_data += other;
    return *this;
}

OdAnsiString& OdAnsiString::operator+=(char ch)
{
    m_data += ch;
    return *this;
}

bool OdAnsiString::operator==(const char* other) const
{
    return m_data == (other ? other : "");
}

int OdAnsiString::compare(const char* other) const
{
    int c = m_data.compare(other ? other : "");
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int OdAnsiString::iCompare(const char* other) const
{
    int c = strcasecmp(m_data.c_str(), other ? other : "");
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int OdAnsiString::find(char ch, int start) const
{
    if (start < 0 || start > getLength()) return -1;
    size_t p = m_data.find(ch, size_t(start));
    return p == std::string::npos ? -1 : int(p);
}

int OdAnsiString::find(const char* sub, int start) const
{
    if (!sub || start < 0 || start > getLength()) return -1;
    size_t p = m_data.find(sub, size_t(start));
    return p == std::string::npos ? -1 : int(p);
}

OdAnsiString OdAnsiString::left(int count) const
{
    return OdAnsiString(m_data.substr(0, size_t(std::clamp(count, 0, getLength()))));
}

OdAnsiString OdAnsiString::right(int count) const
{
    int n = std::clamp(count, 0, getLength());
    return OdAnsiString(m_data.substr(size_t(getLength() - n)));
}

OdAnsiString OdAnsiString::mid(int first, int count) const
{
    first = std::clamp(first, 0, getLength());
    if (count < 0) count = getLength() - first;
    count = std::clamp(count, 0, getLength() - first);
    return OdAnsiString(m_data.substr(size_t(first), size_t(count)));
}

OdAnsiString& OdAnsiString::makeUpper()
{
    for (auto& c : m_data)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return *this;
}

OdAnsiString& OdAnsiString::makeLower()
{
    for (auto& c : m_data)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return *this;
}

OdAnsiString& OdAnsiString::trimLeft()
{
    size_t i = 0;
    while (i < m_data.size() && std::isspace(static_cast<unsigned char>(m_data[i])))
        ++i;
    m_data.erase(0, i);
    return *this;
}

OdAnsiString& OdAnsiString::trimRight()
{
    size_t n = m_data.size();
    while (n > 0 && std::isspace(static_cast<unsigned char>(m_data[n - 1])))
        --n;
    m_data.resize(n);
    return *this;
}

int OdAnsiString::replace(char oldCh, char newCh)
{
    int n = 0;
    for (auto& c : m_data)
        if (c == oldCh) {
            c = newCh;
            ++n;
        }
    return n;
}

OdAnsiString& OdAnsiString::format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt ? fmt : "", copy);
    va_end(copy);
    if (n < 0) {
        m_data.clear();
    } else {
        std::vector<char> buf(size_t(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), fmt ? fmt : "", args);
        m_data.assign(buf.data(), size_t(n));
    }
    va_end(args);
    return *this;
}

OdAnsiString operator+(const OdAnsiString& a, const OdAnsiString& b)
{
    OdAnsiString s(a);
    s += b;
    return s;
}
