// Arrays in object fields: a 32-bit count, then the items, each filed by one filer call.
#pragma once

#include "DbFiler.h"
#include "OdArray.h"

// Reads a count and that many items with readItem (&OdDbDwgFiler::rdPoint3d, ...). A negative
// count is refused with eInvalidInput and leaves items as they were.
template <class T>
OdResult odDbReadArray(OdDbDwgFiler* filer, OdArray<T>& items, T (OdDbDwgFiler::*readItem)())
{
    const OdInt32 n = filer->rdInt32();
    if (n < 0) return eInvalidInput;
    items.clear();
    for (OdInt32 i = 0; i < n; ++i)
        items.append((filer->*readItem)());
    return eOk;
}

template <class T, class Item>
void odDbWriteArray(OdDbDwgFiler* filer, const OdArray<T>& items, void (OdDbDwgFiler::*writeItem)(Item))
{
    filer->wrInt32(OdInt32(items.size()));
    for (const T& item : items)
        (filer->*writeItem)(item);
}
