#include "DbDwgMemoryFiler.h"

#include "DbDatabase.h"

#include <cstring>
#include <string>
#include <vector>

ODRX_DEFINE_MEMBERS(OdDbDwgMemoryFiler, OdDbDwgFiler)

struct OdDbDwgMemoryFiler::Item
{
    ItemType type;
    OdInt64 integer = 0;
    double real = 0.0;
    OdString text;
    std::string bytes;
    OdDbDatabase* db = nullptr; // database of a written id
};

struct OdDbDwgMemoryFiler::Items
{
    std::vector<Item> list;
};

namespace {
const char* typeName(OdDbDwgMemoryFiler::ItemType t)
{
    static const char* names[] = {"bool",
                                  "int8",
                                  "int16",
                                  "int32",
                                  "int64",
                                  "double",
                                  "string",
                                  "bytes",
                                  "handle",
                                  "soft ownership id",
                                  "hard ownership id",
                                  "hard pointer id",
                                  "soft pointer id"};
    return names[t];
}
} // namespace

OdDbDwgMemoryFiler::OdDbDwgMemoryFiler() : m_items(new Items) {}

OdDbDwgMemoryFiler::~OdDbDwgMemoryFiler()
{
    delete m_items;
}

void OdDbDwgMemoryFiler::seek(OdUInt32 itemIndex)
{
    if (itemIndex > numItems()) throw OdError(eInvalidIndex);
    m_pos = itemIndex;
}

OdUInt32 OdDbDwgMemoryFiler::numItems() const
{
    return OdUInt32(m_items->list.size());
}

OdDbDwgMemoryFiler::ItemType OdDbDwgMemoryFiler::itemTypeAt(OdUInt32 itemIndex) const
{
    if (itemIndex >= numItems()) throw OdError(eInvalidIndex);
    return m_items->list[itemIndex].type;
}

void OdDbDwgMemoryFiler::clear()
{
    m_items->list.clear();
    m_pos = 0;
}

const OdDbDwgMemoryFiler::Item& OdDbDwgMemoryFiler::next(ItemType type)
{
    if (m_pos >= numItems())
        throw OdError(eEndOfFile, OdString::fromUtf8(std::string("Read of a ") + typeName(type) +
                                                     " past the end of the stream"));
    const Item& item = m_items->list[m_pos];
    if (item.type != type)
        throw OdError(eInvalidInput,
                      OdString::fromUtf8(std::string("Read of a ") + typeName(type) + " at item " +
                                         std::to_string(m_pos) + ", which holds a " + typeName(item.type)));
    ++m_pos;
    return item;
}

void OdDbDwgMemoryFiler::push(Item&& item)
{
    // Writing at the read position replaces what follows, as a stream would.
    m_items->list.resize(m_pos);
    m_items->list.push_back(std::move(item));
    ++m_pos;
}

bool OdDbDwgMemoryFiler::rdBool()
{
    return next(kBool).integer != 0;
}
OdInt8 OdDbDwgMemoryFiler::rdInt8()
{
    return OdInt8(next(kInt8).integer);
}
OdInt16 OdDbDwgMemoryFiler::rdInt16()
{
    return OdInt16(next(kInt16).integer);
}
OdInt32 OdDbDwgMemoryFiler::rdInt32()
{
    return OdInt32(next(kInt32).integer);
}
OdInt64 OdDbDwgMemoryFiler::rdInt64()
{
    return next(kInt64).integer;
}
double OdDbDwgMemoryFiler::rdDouble()
{
    return next(kDouble).real;
}
OdString OdDbDwgMemoryFiler::rdString()
{
    return next(kString).text;
}

void OdDbDwgMemoryFiler::rdBytes(void* buffer, OdUInt32 numBytes)
{
    const Item& item = next(kBytes);
    if (item.bytes.size() != numBytes) {
        --m_pos;
        throw OdError(eInvalidInput, L"Byte block of another size");
    }
    if (numBytes) std::memcpy(buffer, item.bytes.data(), numBytes);
}

OdDbHandle OdDbDwgMemoryFiler::rdDbHandle()
{
    return OdDbHandle(OdUInt64(next(kHandle).integer));
}

OdDbObjectId OdDbDwgMemoryFiler::readId(ItemType type)
{
    const Item& item = next(type);
    OdDbHandle h(OdUInt64(item.integer));
    OdDbDatabase* db = m_db ? m_db : item.db;
    if (h.isNull() || !db) return OdDbObjectId();
    return db->getOdDbObjectId(h);
}

OdDbObjectId OdDbDwgMemoryFiler::rdSoftOwnershipId()
{
    return readId(kSoftOwnershipId);
}
OdDbObjectId OdDbDwgMemoryFiler::rdHardOwnershipId()
{
    return readId(kHardOwnershipId);
}
OdDbObjectId OdDbDwgMemoryFiler::rdHardPointerId()
{
    return readId(kHardPointerId);
}
OdDbObjectId OdDbDwgMemoryFiler::rdSoftPointerId()
{
    return readId(kSoftPointerId);
}

void OdDbDwgMemoryFiler::wrBool(bool value)
{
    push(Item{kBool, value ? 1 : 0, 0.0, OdString(), std::string()});
}
void OdDbDwgMemoryFiler::wrInt8(OdInt8 value)
{
    push(Item{kInt8, value, 0.0, OdString(), std::string()});
}
void OdDbDwgMemoryFiler::wrInt16(OdInt16 value)
{
    push(Item{kInt16, value, 0.0, OdString(), std::string()});
}
void OdDbDwgMemoryFiler::wrInt32(OdInt32 value)
{
    push(Item{kInt32, value, 0.0, OdString(), std::string()});
}
void OdDbDwgMemoryFiler::wrInt64(OdInt64 value)
{
    push(Item{kInt64, value, 0.0, OdString(), std::string()});
}
void OdDbDwgMemoryFiler::wrDouble(double value)
{
    push(Item{kDouble, 0, value, OdString(), std::string()});
}
void OdDbDwgMemoryFiler::wrString(const OdString& value)
{
    push(Item{kString, 0, 0.0, value, std::string()});
}
void OdDbDwgMemoryFiler::wrBytes(const void* buffer, OdUInt32 numBytes)
{
    push(Item{kBytes, 0, 0.0, OdString(), std::string(static_cast<const char*>(buffer), numBytes)});
}
void OdDbDwgMemoryFiler::wrDbHandle(const OdDbHandle& value)
{
    push(Item{kHandle, OdInt64(OdUInt64(value)), 0.0, OdString(), std::string()});
}

void OdDbDwgMemoryFiler::writeId(ItemType type, const OdDbObjectId& id)
{
    Item item{type, OdInt64(OdUInt64(id.getHandle())), 0.0, OdString(), std::string()};
    item.db = id.database();
    push(std::move(item));
}

void OdDbDwgMemoryFiler::wrSoftOwnershipId(const OdDbObjectId& value)
{
    writeId(kSoftOwnershipId, value);
}
void OdDbDwgMemoryFiler::wrHardOwnershipId(const OdDbObjectId& value)
{
    writeId(kHardOwnershipId, value);
}
void OdDbDwgMemoryFiler::wrHardPointerId(const OdDbObjectId& value)
{
    writeId(kHardPointerId, value);
}
void OdDbDwgMemoryFiler::wrSoftPointerId(const OdDbObjectId& value)
{
    writeId(kSoftPointerId, value);
}
