#include "DbHandle.h"

#include <cwctype>

OdDbHandle::OdDbHandle(const OdString& hex)
{
    OdUInt64 v = 0;
    int n = hex.getLength();
    if (n == 0 || n > 16) return;
    for (int i = 0; i < n; ++i) {
        OdChar c = hex.getAt(i);
        int d;
        if (c >= L'0' && c <= L'9')
            d = c - L'0';
        else if (c >= L'a' && c <= L'f')
            d = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            d = c - L'A' + 10;
        else
            return;
        v = (v << 4) | OdUInt64(d);
    }
    m_value = v;
}

OdString OdDbHandle::ascii() const
{
    return OdString::formatted(L"%llX", static_cast<unsigned long long>(m_value));
}
