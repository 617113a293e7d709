// Reads and writes the fields of database objects (dwgInFields / dwgOutFields).
#pragma once

#include "DbObjectId.h"
#include "Ge/GePoint2d.h"
#include "Ge/GePoint3d.h"
#include "Ge/GeScale3d.h"
#include "Ge/GeVector3d.h"
#include "RxObject.h"

class ODKIT_EXPORT OdDbDwgFiler : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbDwgFiler);

    enum FilerType
    {
        kFileFiler = 0,
        kCopyFiler = 1,
        kUndoFiler = 2,
        kBagFiler = 3,
        kIdXlateFiler = 4,
        kPageFiler = 5,
        kDeepCloneFiler = 6,
        kIdFiler = 7,
        kPurgeFiler = 8,
        kWblockCloneFiler = 9
    };

    virtual FilerType filerType() const = 0;
    virtual OdDbDatabase* database() const = 0;
    virtual OdResult filerStatus() const { return eOk; }

    virtual bool rdBool() = 0;
    virtual OdInt8 rdInt8() = 0;
    virtual OdUInt8 rdUInt8() { return OdUInt8(rdInt8()); }
    virtual OdInt16 rdInt16() = 0;
    virtual OdInt32 rdInt32() = 0;
    virtual OdInt64 rdInt64() = 0;
    virtual double rdDouble() = 0;
    virtual OdString rdString() = 0;
    virtual void rdBytes(void* buffer, OdUInt32 numBytes) = 0;
    virtual OdDbHandle rdDbHandle() = 0;
    virtual OdDbObjectId rdSoftOwnershipId() = 0;
    virtual OdDbObjectId rdHardOwnershipId() = 0;
    virtual OdDbObjectId rdHardPointerId() = 0;
    virtual OdDbObjectId rdSoftPointerId() = 0;
    virtual OdGePoint2d rdPoint2d();
    virtual OdGePoint3d rdPoint3d();
    virtual OdGeVector3d rdVector3d();
    virtual OdGeScale3d rdScale3d();

    virtual void wrBool(bool value) = 0;
    virtual void wrInt8(OdInt8 value) = 0;
    virtual void wrUInt8(OdUInt8 value) { wrInt8(OdInt8(value)); }
    virtual void wrInt16(OdInt16 value) = 0;
    virtual void wrInt32(OdInt32 value) = 0;
    virtual void wrInt64(OdInt64 value) = 0;
    virtual void wrDouble(double value) = 0;
    virtual void wrString(const OdString& value) = 0;
    virtual void wrBytes(const void* buffer, OdUInt32 numBytes) = 0;
    virtual void wrDbHandle(const OdDbHandle& value) = 0;
    virtual void wrSoftOwnershipId(const OdDbObjectId& value) = 0;
    virtual void wrHardOwnershipId(const OdDbObjectId& value) = 0;
    virtual void wrHardPointerId(const OdDbObjectId& value) = 0;
    virtual void wrSoftPointerId(const OdDbObjectId& value) = 0;
    virtual void wrPoint2d(const OdGePoint2d& value);
    virtual void wrPoint3d(const OdGePoint3d& value);
    virtual void wrVector3d(const OdGeVector3d& value);
    virtual void wrScale3d(const OdGeScale3d& value);
};
typedef OdSmartPtr<OdDbDwgFiler> OdDbDwgFilerPtr;
