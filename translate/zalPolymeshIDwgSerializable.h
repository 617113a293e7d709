#pragma once

#include "zalExport.h"

#include "OdArray.h"
#include "OdResult.h"

class OdDbDwgFiler;

namespace zal {
namespace polymesh {

// Ids are indices into the owning mesh's arrays.
using Id = OdUInt32;
using IdArray = OdArray<Id>;

// Filing interface of the polymesh family. Every class of the family files its own fields behind a
// 16-bit format version (zalPolymeshFiling.h); a class of the entity library may override them. The
// base itself has no fields: it answers eNotImplementedYet and writes nothing.
class ZAL_EXPORT IDwgSerializable
{
public:
    virtual ~IDwgSerializable();
    virtual OdResult dwgInFields(OdDbDwgFiler* pFiler);
    virtual void dwgOutFields(OdDbDwgFiler* pFiler) const;
};

} // namespace polymesh
} // namespace zal
