#include "Ed/EdKeyword.h"

OdEdKeyword::OdEdKeyword(int index, const OdString& keyword)
    : OdError(eOk, OdString(L"Keyword ") + keyword), m_index(index), m_keyword(keyword)
{
}
