#pragma once

#include "module/zalExport.h"

#include "OdArray.h"
#include "OdResult.h"

class OdDbDwgFiler;

namespace zal {
namespace polymesh {

// Ids are indices into the owning mesh's arrays.
using Id = OdUInt32;
using IdArray = OdArray<Id>;

// Filing interface of the polymesh family. The record layout belongs to the entity library that owns the
// mesh entity: it overrides these in its own classes. The base answers eNotImplementedYet and writes
// nothing, so a mesh filed without that library is visibly incomplete rather than silently wrong.
class ZAL_EXPORT IDwgSerializable
{
public:
    virtual ~IDwgSerializable();
    virtual OdResult dwgInFields(OdDbDwgFiler* pFiler);
    virtual void dwgOutFields(OdDbDwgFiler* pFiler) const;
};

} // namespace polymesh
} // namespace zal
