// The byte form of a filer record for the filer target: the first byte chooses the record class,
// then items follow, each a kind byte and its value (integers little-endian, doubles as 8 bytes,
// strings and byte blocks with a one-byte length, ids as an 8-byte handle). The seed maker writes a
// record through dwgOutFields and turns its items into this form; the target turns bytes back into
// items and has a fresh object of the class read them.
#pragma once

#include "DbDwgMemoryFiler.h"
#include "DbDatabase.h"
#include "DbHandle.h"
#include "OdString.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace zalFuzzFiler {

using Item = OdDbDwgMemoryFiler::ItemType;
const int kItemKinds = int(OdDbDwgMemoryFiler::kSoftPointerId) + 1;

template <class T> bool take(const std::uint8_t*& p, const std::uint8_t* end, T& value)
{
    if (std::size_t(end - p) < sizeof(T)) return false;
    std::memcpy(&value, p, sizeof(T));
    p += sizeof(T);
    return true;
}

// Items from bytes into filer (written at its position); stops at the first incomplete item.
inline void toFiler(const std::uint8_t* p, const std::uint8_t* end, OdDbDwgMemoryFiler* filer)
{
    while (p < end) {
        const Item kind = Item(*p++ % kItemKinds);
        switch (kind) {
        case OdDbDwgMemoryFiler::kBool: {
            std::uint8_t v;
            if (!take(p, end, v)) return;
            filer->wrBool(v & 1);
            break;
        }
        case OdDbDwgMemoryFiler::kInt8: {
            std::int8_t v;
            if (!take(p, end, v)) return;
            filer->wrInt8(v);
            break;
        }
        case OdDbDwgMemoryFiler::kInt16: {
            std::int16_t v;
            if (!take(p, end, v)) return;
            filer->wrInt16(v);
            break;
        }
        case OdDbDwgMemoryFiler::kInt32: {
            std::int32_t v;
            if (!take(p, end, v)) return;
            filer->wrInt32(v);
            break;
        }
        case OdDbDwgMemoryFiler::kInt64: {
            std::int64_t v;
            if (!take(p, end, v)) return;
            filer->wrInt64(v);
            break;
        }
        case OdDbDwgMemoryFiler::kDouble: {
            double v;
            if (!take(p, end, v)) return;
            filer->wrDouble(v);
            break;
        }
        case OdDbDwgMemoryFiler::kString:
        case OdDbDwgMemoryFiler::kBytes: {
            std::uint8_t n;
            if (!take(p, end, n) || std::size_t(end - p) < n) return;
            if (kind == OdDbDwgMemoryFiler::kString)
                filer->wrString(OdString::fromUtf8(std::string(reinterpret_cast<const char*>(p), n)));
            else
                filer->wrBytes(p, n);
            p += n;
            break;
        }
        default: {
            std::uint64_t h;
            if (!take(p, end, h)) return;
            const OdDbObjectId id =
                filer->database() ? filer->database()->getOdDbObjectId(OdDbHandle(h)) : OdDbObjectId();
            if (kind == OdDbDwgMemoryFiler::kHandle)
                filer->wrDbHandle(OdDbHandle(h));
            else if (kind == OdDbDwgMemoryFiler::kSoftOwnershipId)
                filer->wrSoftOwnershipId(id);
            else if (kind == OdDbDwgMemoryFiler::kHardOwnershipId)
                filer->wrHardOwnershipId(id);
            else if (kind == OdDbDwgMemoryFiler::kHardPointerId)
                filer->wrHardPointerId(id);
            else
                filer->wrSoftPointerId(id);
            break;
        }
        }
    }
}

template <class T> void put(std::string& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

// The filer's items from its first one, in the byte form (after the class byte).
inline std::string fromFiler(OdDbDwgMemoryFiler* filer)
{
    std::string out;
    filer->rewind();
    while (!filer->atEnd()) {
        const Item kind = filer->itemTypeAt(filer->tell());
        out.push_back(char(kind));
        switch (kind) {
        case OdDbDwgMemoryFiler::kBool:
            put<std::uint8_t>(out, filer->rdBool());
            break;
        case OdDbDwgMemoryFiler::kInt8:
            put(out, filer->rdInt8());
            break;
        case OdDbDwgMemoryFiler::kInt16:
            put(out, filer->rdInt16());
            break;
        case OdDbDwgMemoryFiler::kInt32:
            put(out, filer->rdInt32());
            break;
        case OdDbDwgMemoryFiler::kInt64:
            put(out, filer->rdInt64());
            break;
        case OdDbDwgMemoryFiler::kDouble:
            put(out, filer->rdDouble());
            break;
        case OdDbDwgMemoryFiler::kString: {
            std::string s = filer->rdString().toUtf8();
            if (s.size() > 255) s.resize(255);
            put(out, std::uint8_t(s.size()));
            out += s;
            break;
        }
        case OdDbDwgMemoryFiler::kBytes:
            // Byte blocks are read by size only; the seeds carry none.
            return out;
        case OdDbDwgMemoryFiler::kHandle:
            put<std::uint64_t>(out, OdUInt64(filer->rdDbHandle()));
            break;
        case OdDbDwgMemoryFiler::kSoftOwnershipId:
            put<std::uint64_t>(out, OdUInt64(filer->rdSoftOwnershipId().getHandle()));
            break;
        case OdDbDwgMemoryFiler::kHardOwnershipId:
            put<std::uint64_t>(out, OdUInt64(filer->rdHardOwnershipId().getHandle()));
            break;
        case OdDbDwgMemoryFiler::kHardPointerId:
            put<std::uint64_t>(out, OdUInt64(filer->rdHardPointerId().getHandle()));
            break;
        case OdDbDwgMemoryFiler::kSoftPointerId:
            put<std::uint64_t>(out, OdUInt64(filer->rdSoftPointerId().getHandle()));
            break;
        }
    }
    return out;
}

} // namespace zalFuzzFiler
