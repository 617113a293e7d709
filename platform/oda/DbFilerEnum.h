#pragma once

#include "DbFiler.h"
#include "OdError.h"

// An enumerator stored as a 16-bit integer, refused outside [first, last]: a value out of an
// enumeration's range is undefined once loaded, and a damaged record must not carry one in.
template <class E> E odRdEnum16(OdDbDwgFiler* filer, E first, E last)
{
    const int value = filer->rdInt16();
    if (value < int(first) || value > int(last))
        throw OdError(eInvalidInput, L"Enumerated value out of range");
    return E(value);
}
