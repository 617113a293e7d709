// A value of one of the platform's basic types. Typed getters raise OdError(eInvalidInput)
// when the variant holds another type.
#pragma once

#include "OdString.h"
#include "RxObject.h"

#include <variant>

class ODKIT_EXPORT OdVariant
{
public:
    enum Type
    {
        kVoid = 0,
        kString,
        kAnsiString,
        kRxObjectPtr,
        kBool,
        kInt8,
        kInt16,
        kInt32,
        kInt64,
        kDouble,
        kWString = kString,
        kUInt8 = kInt8,
        kUInt16 = kInt16,
        kUInt32 = kInt32,
        kUInt64 = kInt64
    };

    OdVariant() = default;
    OdVariant(const OdString& value) : m_value(value) {}
    OdVariant(const OdChar* value) : m_value(OdString(value)) {}
    OdVariant(const OdAnsiString& value) : m_value(value) {}
    OdVariant(const OdRxObjectPtr& value);
    OdVariant(bool value) : m_value(value) {}
    OdVariant(OdInt8 value) : m_value(value) {}
    OdVariant(OdUInt8 value) : m_value(OdInt8(value)) {}
    OdVariant(OdInt16 value) : m_value(value) {}
    OdVariant(OdUInt16 value) : m_value(OdInt16(value)) {}
    OdVariant(OdInt32 value) : m_value(value) {}
    OdVariant(OdUInt32 value) : m_value(OdInt32(value)) {}
    OdVariant(OdInt64 value) : m_value(value) {}
    OdVariant(OdUInt64 value) : m_value(OdInt64(value)) {}
    OdVariant(double value) : m_value(value) {}
    OdVariant(const OdVariant& other);
    OdVariant& operator=(const OdVariant& other);
    ~OdVariant();

    Type varType() const { return Type(m_value.index()); }
    Type type() const { return varType(); }
    bool isEmpty() const { return varType() == kVoid; }

    const OdString& getString() const;
    const OdAnsiString& getAnsiString() const;
    OdRxObjectPtr getRxObjectPtr() const;
    bool getBool() const;
    OdInt8 getInt8() const;
    OdUInt8 getUInt8() const { return OdUInt8(getInt8()); }
    OdInt16 getInt16() const;
    OdUInt16 getUInt16() const { return OdUInt16(getInt16()); }
    OdInt32 getInt32() const;
    OdUInt32 getUInt32() const { return OdUInt32(getInt32()); }
    OdInt64 getInt64() const;
    OdUInt64 getUInt64() const { return OdUInt64(getInt64()); }
    double getDouble() const;

    OdVariant& setString(const OdString& value);
    OdVariant& setAnsiString(const OdAnsiString& value);
    OdVariant& setRxObjectPtr(const OdRxObjectPtr& value);
    OdVariant& setBool(bool value);
    OdVariant& setInt8(OdInt8 value);
    OdVariant& setInt16(OdInt16 value);
    OdVariant& setInt32(OdInt32 value);
    OdVariant& setInt64(OdInt64 value);
    OdVariant& setDouble(double value);

    bool operator==(const OdVariant& other) const;
    bool operator!=(const OdVariant& other) const { return !(*this == other); }

private:
    std::variant<std::monostate, OdString, OdAnsiString, OdRxObject*, bool, OdInt8, OdInt16, OdInt32, OdInt64,
                 double>
        m_value;
};
