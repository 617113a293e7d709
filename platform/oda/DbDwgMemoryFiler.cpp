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

namespace {
const unsigned char kRecordVersion = 1;

void putU64(std::string& out, OdUInt64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((v >> (8 * i)) & 0xff);
}

bool getU64(const std::string& in, size_t& pos, int bytes, OdUInt64& v)
{
    if (in.size() - pos < size_t(bytes)) return false;
    v = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The record is little-endian like the machine: one copy instead of a shift per byte.
    std::memcpy(&v, in.data() + pos, size_t(bytes));
#else
    for (int i = 0; i < bytes; ++i)
        v |= OdUInt64(static_cast<unsigned char>(in[pos + size_t(i)])) << (8 * i);
#endif
    pos += size_t(bytes);
    return true;
}

int widthOf(OdDbDwgMemoryFiler::ItemType t)
{
    switch (t) {
    case OdDbDwgMemoryFiler::kBool:
    case OdDbDwgMemoryFiler::kInt8:
        return 1;
    case OdDbDwgMemoryFiler::kInt16:
        return 2;
    case OdDbDwgMemoryFiler::kInt32:
        return 4;
    default:
        return 8;
    }
}
} // namespace

std::string OdDbDwgMemoryFiler::toBytes() const
{
    std::string out;
    out += char(kRecordVersion);
    for (const Item& item : m_items->list) {
        out += char(item.type);
        switch (item.type) {
        case kDouble: {
            OdUInt64 bits = 0;
            std::memcpy(&bits, &item.real, sizeof bits);
            putU64(out, bits, 8);
            break;
        }
        case kString: {
            const std::string utf8 = item.text.toUtf8();
            putU64(out, utf8.size(), 4);
            out += utf8;
            break;
        }
        case kBytes:
            putU64(out, item.bytes.size(), 4);
            out += item.bytes;
            break;
        default:
            putU64(out, OdUInt64(item.integer), widthOf(item.type));
            break;
        }
    }
    return out;
}

bool OdDbDwgMemoryFiler::fromBytes(const std::string& in)
{
    clear();
    if (in.empty() || static_cast<unsigned char>(in[0]) != kRecordVersion) return false;
    size_t pos = 1;
    std::vector<Item> items;
    // Most items are numbers of a type byte and 4 or 8 bytes: one allocation for the usual record.
    items.reserve(in.size() / 6 + 1);
    while (pos < in.size()) {
        const unsigned type = static_cast<unsigned char>(in[pos++]);
        if (type > kSoftPointerId) return false;
        // Built in place: moving a finished item cost as much as reading it.
        Item& item = items.emplace_back();
        item.type = ItemType(type);
        OdUInt64 v = 0;
        switch (item.type) {
        case kDouble:
            if (!getU64(in, pos, 8, v)) return false;
            std::memcpy(&item.real, &v, sizeof v);
            break;
        case kString:
        case kBytes: {
            if (!getU64(in, pos, 4, v) || in.size() - pos < v) return false;
            const std::string value = in.substr(pos, size_t(v));
            pos += size_t(v);
            if (item.type == kString)
                item.text = OdString::fromUtf8(value);
            else
                item.bytes = value;
            break;
        }
        default: {
            const int width = widthOf(item.type);
            if (!getU64(in, pos, width, v)) return false;
            // Sign-extend the narrow integers so a negative value reads back as written.
            if (width < 8 && item.type != kBool && (v >> (8 * width - 1)) & 1)
                v |= ~OdUInt64(0) << (8 * width);
            item.integer = OdInt64(v);
            break;
        }
        }
    }
    m_items->list = std::move(items);
    m_pos = 0;
    return true;
}
