// 64-bit handle of a database object, unique within its database.
#pragma once

#include "OdString.h"

class ODKIT_EXPORT OdDbHandle
{
public:
    OdDbHandle() = default;
    OdDbHandle(OdUInt64 value) : m_value(value) {}
    // From hexadecimal text; a malformed text gives the null handle.
    explicit OdDbHandle(const OdString& hex);

    bool isNull() const { return m_value == 0; }
    operator OdUInt64() const { return m_value; }
    OdUInt64 value() const { return m_value; }
    // Upper-case hexadecimal without leading zeros ("1F"); "0" for the null handle.
    OdString ascii() const;
    OdDbHandle& operator++()
    {
        ++m_value;
        return *this;
    }
    OdDbHandle operator++(int)
    {
        OdDbHandle old(*this);
        ++m_value;
        return old;
    }
    bool operator==(const OdDbHandle& h) const { return m_value == h.m_value; }
    bool operator!=(const OdDbHandle& h) const { return m_value != h.m_value; }
    bool operator<(const OdDbHandle& h) const { return m_value < h.m_value; }
    bool operator==(OdUInt64 v) const { return m_value == v; }
    bool operator!=(OdUInt64 v) const { return m_value != v; }

private:
    OdUInt64 m_value = 0;
};
