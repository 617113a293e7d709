#pragma once

// Record helpers shared by the polymesh classes' filing. Every record starts with its own 16-bit
// format version; arrays are a 32-bit count followed by the items. Readers fill temporaries and
// answer an error for a negative count or a newer version, leaving the object as it was.

#include "translate/zalPolymeshIDwgSerializable.h"

#include "DbFiler.h"
#include "DbObjectId.h"
#include "Ge/GePoint3d.h"
#include "Ge/GeVector3d.h"

namespace zal {
namespace polymesh {
namespace filing {

constexpr OdInt16 kVersion = 1;
// Items reserved before any is read: a damaged count must not allocate before the reads fail.
constexpr OdInt32 kReserveLimit = 4096;

inline bool readVersion(OdDbDwgFiler* filer)
{
    const OdInt16 version = filer->rdInt16();
    return version >= 1 && version <= kVersion;
}

inline bool readCount(OdDbDwgFiler* filer, OdInt32& count)
{
    count = filer->rdInt32();
    return count >= 0;
}

template <class T, class Write> void writeArray(OdDbDwgFiler* filer, const OdArray<T>& array, Write write)
{
    filer->wrInt32(OdInt32(array.size()));
    for (unsigned i = 0; i < array.size(); ++i)
        write(filer, array[i]);
}

template <class T, class Read> bool readArray(OdDbDwgFiler* filer, OdArray<T>& array, Read read)
{
    OdInt32 count = 0;
    if (!readCount(filer, count)) return false;
    OdArray<T> items;
    items.reserve(unsigned(count < kReserveLimit ? count : kReserveLimit));
    for (OdInt32 i = 0; i < count; ++i) {
        T item;
        if (!read(filer, item)) return false;
        items.append(item);
    }
    array = items;
    return true;
}

inline void writeIds(OdDbDwgFiler* filer, const IdArray& ids)
{
    writeArray(filer, ids, [](OdDbDwgFiler* f, Id id) { f->wrInt32(OdInt32(id)); });
}

inline bool readIds(OdDbDwgFiler* filer, IdArray& ids)
{
    return readArray(filer, ids, [](OdDbDwgFiler* f, Id& id) {
        id = Id(f->rdInt32());
        return true;
    });
}

inline void writeLoops(OdDbDwgFiler* filer, const OdArray<IdArray>& loops)
{
    writeArray(filer, loops, [](OdDbDwgFiler* f, const IdArray& loop) { writeIds(f, loop); });
}

inline bool readLoops(OdDbDwgFiler* filer, OdArray<IdArray>& loops)
{
    return readArray(filer, loops, [](OdDbDwgFiler* f, IdArray& loop) { return readIds(f, loop); });
}

inline void writePoints(OdDbDwgFiler* filer, const OdArray<OdGePoint3d>& points)
{
    writeArray(filer, points, [](OdDbDwgFiler* f, const OdGePoint3d& p) { f->wrPoint3d(p); });
}

inline bool readPoints(OdDbDwgFiler* filer, OdArray<OdGePoint3d>& points)
{
    return readArray(filer, points, [](OdDbDwgFiler* f, OdGePoint3d& p) {
        p = f->rdPoint3d();
        return true;
    });
}

inline void writeVectors(OdDbDwgFiler* filer, const OdArray<OdGeVector3d>& vectors)
{
    writeArray(filer, vectors, [](OdDbDwgFiler* f, const OdGeVector3d& v) { f->wrVector3d(v); });
}

inline bool readVectors(OdDbDwgFiler* filer, OdArray<OdGeVector3d>& vectors)
{
    return readArray(filer, vectors, [](OdDbDwgFiler* f, OdGeVector3d& v) {
        v = f->rdVector3d();
        return true;
    });
}

// Materials are database objects the mesh does not own: soft pointers.
inline void writeMaterial(OdDbDwgFiler* filer, OdDbStub* material)
{
    filer->wrSoftPointerId(OdDbObjectId(material));
}

inline OdDbStub* readMaterial(OdDbDwgFiler* filer)
{
    return filer->rdSoftPointerId();
}

} // namespace filing
} // namespace polymesh
} // namespace zal
