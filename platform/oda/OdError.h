// Exceptions of the platform: every failure is an OdError carrying an OdResult.
#pragma once

#include "OdResult.h"
#include "OdString.h"

#include <exception>
#include <string>

class ODKIT_EXPORT OdError : public std::exception
{
public:
    explicit OdError(OdResult code);
    OdError(OdResult code, const OdString& description);
    ~OdError() override;

    OdResult code() const { return m_code; }
    // Human readable text: the given description or the name of the code.
    OdString description() const;
    const char* what() const noexcept override;

    static OdString codeName(OdResult code);

private:
    OdResult m_code;
    OdString m_description;
    std::string m_what;
};

// A downcast to a class the object does not belong to.
class ODKIT_EXPORT OdError_NotThatKindOfClass : public OdError
{
public:
    OdError_NotThatKindOfClass();
    OdError_NotThatKindOfClass(const OdRxClass* objectClass, const OdRxClass* wantedClass);
};

// An index outside an array or a record.
class ODKIT_EXPORT OdError_InvalidIndex : public OdError
{
public:
    OdError_InvalidIndex();
};

inline void throwOdError(OdResult res)
{
    throw OdError(res);
}
