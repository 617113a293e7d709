#include "OdError.h"

#include "RxClass.h"

OdError::OdError(OdResult code) : m_code(code)
{
    m_what = description().toUtf8();
}

OdError::OdError(OdResult code, const OdString& description) : m_code(code), m_description(description)
{
    m_what = this->description().toUtf8();
}

OdError::~OdError() = default;

OdString OdError::description() const
{
    return m_description.isEmpty() ? codeName(m_code) : m_description;
}

const char* OdError::what() const noexcept
{
    return m_what.c_str();
}

OdString OdError::codeName(OdResult code)
{
    switch (code) {
    case eOk:
        return L"No error";
    case eNotApplicable:
        return L"Not applicable";
    case eNotImplementedYet:
        return L"Not implemented yet";
    case eInvalidInput:
        return L"Invalid input";
    case eOutOfMemory:
        return L"Out of memory";
    case eInvalidOpenState:
        return L"Invalid open state";
    case eNullHandle:
        return L"Null handle";
    case eUnknownHandle:
        return L"Unknown handle";
    case eNullObjectPointer:
        return L"Null object pointer";
    case eNullObjectId:
        return L"Null object id";
    case eKeyNotFound:
        return L"Key not found";
    case eDuplicateKey:
        return L"Duplicate key";
    case eInvalidIndex:
        return L"Invalid index";
    case eNotInDatabase:
        return L"Object not in a database";
    case eAlreadyInDb:
        return L"Object already in a database";
    case eWrongDatabase:
        return L"Object of another database";
    case eWasErased:
        return L"Object was erased";
    case eWasOpenForWrite:
        return L"Object was open for write";
    case eNotOpenForRead:
        return L"Object is not open for read";
    case eNotOpenForWrite:
        return L"Object is not open for write";
    case eNotThatKindOfClass:
        return L"Not that kind of class";
    case eInvalidExtents:
        return L"Invalid extents";
    case eEndOfFile:
        return L"Unexpected end of file";
    case eFileNotFound:
        return L"File not found";
    case eDLLNotFound:
        return L"Module not found";
    case eIncompatibleApiVersion:
        return L"Incompatible API version";
    case eUserBreak:
        return L"Cancelled by the user";
    case eNotRegistered:
        return L"Class or object is not registered";
    case eAlreadyRegistered:
        return L"Class or object is already registered";
    case eWrongObjectType:
        return L"Wrong object type";
    case eInitFailed:
        return L"Initialisation failed";
    }
    return OdString::formatted(L"Error %d", int(code));
}

static OdString notThatKindText(const OdRxClass* objectClass, const OdRxClass* wantedClass)
{
    OdString have = objectClass ? objectClass->name() : OdString(L"(unregistered class)");
    OdString want = wantedClass ? wantedClass->name() : OdString(L"(unregistered class)");
    return OdString(L"Object of class ") + have + L" can't be converted to " + want;
}

OdError_NotThatKindOfClass::OdError_NotThatKindOfClass() : OdError(eNotThatKindOfClass) {}

OdError_NotThatKindOfClass::OdError_NotThatKindOfClass(const OdRxClass* objectClass,
                                                       const OdRxClass* wantedClass)
    : OdError(eNotThatKindOfClass, notThatKindText(objectClass, wantedClass))
{
}

OdError_InvalidIndex::OdError_InvalidIndex() : OdError(eInvalidIndex) {}
