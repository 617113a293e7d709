#include "OdString.h"

#include "internal/Utf8.h"

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

const OdString OdString::kEmpty;

OdString::OdString(const OdChar* source) : m_data(source ? source : L"") {}
OdString::OdString(const OdChar* source, int length)
    : m_data(source ? std::wstring(source, size_t(length)) : L"")
{
}
OdString::OdString(OdChar ch, int repeat) : m_data(size_t(std::max(repeat, 0)), ch) {}
OdString::OdString(const char* utf8) : m_data(odkit::utf8ToWide(utf8 ? utf8 : "")) {}
OdString::OdString(const std::wstring& source) : m_data(source) {}
OdString::OdString(const OdAnsiString& source) : m_data(odkit::utf8ToWide(source.toStdString())) {}

OdString OdString::fromUtf8(const std::string& utf8)
{
    return OdString(odkit::utf8ToWide(utf8));
}

std::string OdString::toUtf8() const
{
    return odkit::wideToUtf8(m_data);
}

OdChar OdString::getAt(int index) const
{
    return index >= 0 && index < getLength() ? m_data[size_t(index)] : OdChar(0);
}

void OdString::setAt(int index, OdChar ch)
{
    if (index >= 0 && index < getLength()) m_data[size_t(index)] = ch;
}

OdString& OdString::operator=(const OdChar* source)
{
    m_data = source ? source : L"";
    return *this;
}

OdString& OdString::operator=(const char* utf8)
{
    m_data = odkit::utf8ToWide(utf8 ? utf8 : "");
    return *this;
}

OdString& OdString::operator+=(const OdString& other)
{
    m_data += other.m_data;
    return *this;
}

OdString& OdString::operator+=(const OdChar* other)
{
    if (other) m_data += other;
    return *this;
}

OdString& OdString::operator+=(OdChar ch)
{
    m_data += ch;
    return *this;
}

OdString& OdString::operator+=(const char* utf8)
{
    m_data += odkit::utf8ToWide(utf8 ? utf8 : "");
    return *this;
}

bool OdString::operator==(const OdChar* other) const
{
    return m_data == (other ? other : L"");
}

bool OdString::operator==(const char* utf8) const
{
    return m_data == odkit::utf8ToWide(utf8 ? utf8 : "");
}

int OdString::compare(const OdString& other) const
{
    int c = m_data.compare(other.m_data);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int OdString::iCompare(const OdString& other) const
{
    size_t n = std::min(m_data.size(), other.m_data.size());
    for (size_t i = 0; i < n; ++i) {
        wint_t a = std::towlower(wint_t(m_data[i]));
        wint_t b = std::towlower(wint_t(other.m_data[i]));
        if (a != b) return a < b ? -1 : 1;
    }
    if (m_data.size() == other.m_data.size()) return 0;
    return m_data.size() < other.m_data.size() ? -1 : 1;
}

OdString& OdString::makeUpper()
{
    for (auto& c : m_data)
        c = OdChar(std::towupper(wint_t(c)));
    return *this;
}

OdString& OdString::makeLower()
{
    for (auto& c : m_data)
        c = OdChar(std::towlower(wint_t(c)));
    return *this;
}

OdString& OdString::trimLeft()
{
    size_t i = 0;
    while (i < m_data.size() && std::iswspace(wint_t(m_data[i])))
        ++i;
    m_data.erase(0, i);
    return *this;
}

OdString& OdString::trimRight()
{
    size_t n = m_data.size();
    while (n > 0 && std::iswspace(wint_t(m_data[n - 1])))
        --n;
    m_data.resize(n);
    return *this;
}

OdString& OdString::trimLeft(OdChar ch)
{
    size_t i = 0;
    while (i < m_data.size() && m_data[i] == ch)
        ++i;
    m_data.erase(0, i);
    return *this;
}

OdString& OdString::trimRight(OdChar ch)
{
    size_t n = m_data.size();
    while (n > 0 && m_data[n - 1] == ch)
        --n;
    m_data.resize(n);
    return *this;
}

int OdString::find(OdChar ch, int start) const
{
    if (start < 0 || start > getLength()) return -1;
    size_t p = m_data.find(ch, size_t(start));
    return p == std::wstring::npos ? -1 : int(p);
}

int OdString::find(const OdString& sub, int start) const
{
    if (start < 0 || start > getLength()) return -1;
    size_t p = m_data.find(sub.m_data, size_t(start));
    return p == std::wstring::npos ? -1 : int(p);
}

int OdString::reverseFind(OdChar ch) const
{
    size_t p = m_data.rfind(ch);
    return p == std::wstring::npos ? -1 : int(p);
}

OdString OdString::left(int count) const
{
    return OdString(m_data.substr(0, size_t(std::clamp(count, 0, getLength()))));
}

OdString OdString::right(int count) const
{
    int n = std::clamp(count, 0, getLength());
    return OdString(m_data.substr(size_t(getLength() - n)));
}

OdString OdString::mid(int first) const
{
    return mid(first, getLength());
}

OdString OdString::mid(int first, int count) const
{
    first = std::clamp(first, 0, getLength());
    count = std::clamp(count, 0, getLength() - first);
    return OdString(m_data.substr(size_t(first), size_t(count)));
}

int OdString::replace(OdChar oldCh, OdChar newCh)
{
    int n = 0;
    for (auto& c : m_data)
        if (c == oldCh) {
            c = newCh;
            ++n;
        }
    return n;
}

int OdString::replace(const OdString& oldText, const OdString& newText)
{
    if (oldText.isEmpty()) return 0;
    int n = 0;
    size_t pos = 0;
    while ((pos = m_data.find(oldText.m_data, pos)) != std::wstring::npos) {
        m_data.replace(pos, oldText.m_data.size(), newText.m_data);
        pos += newText.m_data.size();
        ++n;
    }
    return n;
}

int OdString::remove(OdChar ch)
{
    size_t before = m_data.size();
    m_data.erase(std::remove(m_data.begin(), m_data.end(), ch), m_data.end());
    return int(before - m_data.size());
}

int OdString::insert(int index, const OdString& text)
{
    index = std::clamp(index, 0, getLength());
    m_data.insert(size_t(index), text.m_data);
    return getLength();
}

int OdString::deleteChars(int index, int count)
{
    if (index >= 0 && index < getLength() && count > 0) m_data.erase(size_t(index), size_t(count));
    return getLength();
}

static std::wstring vformat(const OdChar* fmt, va_list args)
{
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buf.data(), buf.size(), fmt, copy);
        va_end(copy);
        if (n >= 0 && size_t(n) < buf.size()) return std::wstring(buf.data(), size_t(n));
        // vswprintf does not report the needed size; grow until it fits (bounded).
        if (buf.size() > (1u << 24)) return std::wstring();
        buf.resize(buf.size() * 4);
    }
}

OdString& OdString::format(const OdChar* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    m_data = vformat(fmt ? fmt : L"", args);
    va_end(args);
    return *this;
}

OdString OdString::formatted(const OdChar* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    OdString s(vformat(fmt ? fmt : L"", args));
    va_end(args);
    return s;
}

OdString operator+(const OdString& a, const OdString& b)
{
    OdString s(a);
    s += b;
    return s;
}

OdString operator+(const OdString& a, const OdChar* b)
{
    OdString s(a);
    s += b;
    return s;
}

OdString operator+(const OdChar* a, const OdString& b)
{
    OdString s(a);
    s += b;
    return s;
}

OdString operator+(const OdString& a, OdChar b)
{
    OdString s(a);
    s += b;
    return s;
}
