// A DWG filer over a memory stream. Every value is kept with its kind, so reading a value of
// another kind or past the end raises OdError (eInvalidInput, eEndOfFile) instead of
// misreading. Ids are written as handles and read back through the filer's database (or,
// when none is set, the database of the written id).
#pragma once

#include "DbFiler.h"

#include <string>

class ODKIT_EXPORT OdDbDwgMemoryFiler : public OdDbDwgFiler
{
public:
    ODRX_DECLARE_MEMBERS(OdDbDwgMemoryFiler);

    enum ItemType
    {
        kBool,
        kInt8,
        kInt16,
        kInt32,
        kInt64,
        kDouble,
        kString,
        kBytes,
        kHandle,
        kSoftOwnershipId,
        kHardOwnershipId,
        kHardPointerId,
        kSoftPointerId
    };

    OdDbDwgMemoryFiler();
    ~OdDbDwgMemoryFiler() override;

    void setDatabase(OdDbDatabase* db) { m_db = db; }
    void setFilerType(FilerType type) { m_type = type; }
    FilerType filerType() const override { return m_type; }
    OdDbDatabase* database() const override { return m_db; }

    // Read position back to the first item (the written items stay).
    void rewind() { m_pos = 0; }
    void seek(OdUInt32 itemIndex);
    OdUInt32 tell() const { return m_pos; }
    OdUInt32 numItems() const;
    ItemType itemTypeAt(OdUInt32 itemIndex) const;
    bool atEnd() const { return m_pos >= numItems(); }
    void clear();

    // The items as bytes (ids as their handles), to keep a record outside the process: a
    // version byte, then per item its kind and value, little-endian.
    std::string toBytes() const;
    // Replaces the items with those of bytes and rewinds; false, with no items, when bytes are
    // not such a record (unknown kind, cut value, trailing bytes).
    bool fromBytes(const std::string& bytes);

    bool rdBool() override;
    OdInt8 rdInt8() override;
    OdInt16 rdInt16() override;
    OdInt32 rdInt32() override;
    OdInt64 rdInt64() override;
    double rdDouble() override;
    OdString rdString() override;
    void rdBytes(void* buffer, OdUInt32 numBytes) override;
    OdDbHandle rdDbHandle() override;
    OdDbObjectId rdSoftOwnershipId() override;
    OdDbObjectId rdHardOwnershipId() override;
    OdDbObjectId rdHardPointerId() override;
    OdDbObjectId rdSoftPointerId() override;

    void wrBool(bool value) override;
    void wrInt8(OdInt8 value) override;
    void wrInt16(OdInt16 value) override;
    void wrInt32(OdInt32 value) override;
    void wrInt64(OdInt64 value) override;
    void wrDouble(double value) override;
    void wrString(const OdString& value) override;
    void wrBytes(const void* buffer, OdUInt32 numBytes) override;
    void wrDbHandle(const OdDbHandle& value) override;
    void wrSoftOwnershipId(const OdDbObjectId& value) override;
    void wrHardOwnershipId(const OdDbObjectId& value) override;
    void wrHardPointerId(const OdDbObjectId& value) override;
    void wrSoftPointerId(const OdDbObjectId& value) override;

private:
    struct Item;
    struct Items;
    const Item& next(ItemType type);
    void push(Item&& item);
    OdDbObjectId readId(ItemType type);
    void writeId(ItemType type, const OdDbObjectId& id);

    Items* m_items;
    OdUInt32 m_pos = 0;
    OdDbDatabase* m_db = nullptr;
    FilerType m_type = kFileFiler;
};
typedef OdSmartPtr<OdDbDwgMemoryFiler> OdDbDwgMemoryFilerPtr;
