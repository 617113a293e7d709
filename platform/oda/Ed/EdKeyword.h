#pragma once

#include "OdError.h"

// Raised by a prompt answered with one of its keywords.
class ODKIT_EXPORT OdEdKeyword : public OdError
{
public:
    OdEdKeyword(int index, const OdString& keyword);
    int keywordIndex() const { return m_index; }
    const OdString& keyword() const { return m_keyword; }

private:
    int m_index;
    OdString m_keyword;
};
