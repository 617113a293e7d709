#include "OdVariant.h"

OdVariant::OdVariant(const OdRxObjectPtr& value) : m_value(value.get())
{
    if (value.get()) value->addRef();
}

OdVariant::OdVariant(const OdVariant& other) : m_value(other.m_value)
{
    if (auto p = std::get_if<OdRxObject*>(&m_value))
        if (*p) (*p)->addRef();
}

OdVariant& OdVariant::operator=(const OdVariant& other)
{
    if (this != &other) {
        OdVariant copy(other);
        std::swap(m_value, copy.m_value);
    }
    return *this;
}

OdVariant::~OdVariant()
{
    if (auto p = std::get_if<OdRxObject*>(&m_value))
        if (*p) (*p)->release();
}

template <class T>
static const T& typed(const std::variant<std::monostate, OdString, OdAnsiString, OdRxObject*, bool, OdInt8,
                                         OdInt16, OdInt32, OdInt64, double>& v)
{
    if (auto p = std::get_if<T>(&v)) return *p;
    throw OdError(eInvalidInput, L"Variant holds another type");
}

const OdString& OdVariant::getString() const
{
    return typed<OdString>(m_value);
}
const OdAnsiString& OdVariant::getAnsiString() const
{
    return typed<OdAnsiString>(m_value);
}
OdRxObjectPtr OdVariant::getRxObjectPtr() const
{
    return OdRxObjectPtr(typed<OdRxObject*>(m_value));
}
bool OdVariant::getBool() const
{
    return typed<bool>(m_value);
}
OdInt8 OdVariant::getInt8() const
{
    return typed<OdInt8>(m_value);
}
OdInt16 OdVariant::getInt16() const
{
    return typed<OdInt16>(m_value);
}
OdInt32 OdVariant::getInt32() const
{
    return typed<OdInt32>(m_value);
}
OdInt64 OdVariant::getInt64() const
{
    return typed<OdInt64>(m_value);
}
double OdVariant::getDouble() const
{
    return typed<double>(m_value);
}

OdVariant& OdVariant::setString(const OdString& value)
{
    return *this = OdVariant(value);
}
OdVariant& OdVariant::setAnsiString(const OdAnsiString& value)
{
    return *this = OdVariant(value);
}
OdVariant& OdVariant::setRxObjectPtr(const OdRxObjectPtr& value)
{
    return *this = OdVariant(value);
}
OdVariant& OdVariant::setBool(bool value)
{
    return *this = OdVariant(value);
}
OdVariant& OdVariant::setInt8(OdInt8 value)
{
    return *this = OdVariant(value);
}
OdVariant& OdVariant::setInt16(OdInt16 value)
{
    return *this = OdVariant(value);
}
OdVariant& OdVariant::setInt32(OdInt32 value)
{
    return *this = OdVariant(value);
}
OdVariant& OdVariant::setInt64(OdInt64 value)
{
    return *this = OdVariant(value);
}
OdVariant& OdVariant::setDouble(double value)
{
    return *this = OdVariant(value);
}

bool OdVariant::operator==(const OdVariant& other) const
{
    return m_value == other.m_value;
}
