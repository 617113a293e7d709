// Record readers of the drawing database: a fresh object of the class the first byte names reads
// the items that follow (see zalFuzzFilerFormat.h). Readers may refuse with OdError; nothing else
// may happen. What a reader accepted is written out again, which must not fail either.
#include "zalFuzzFilerFormat.h"
#include "zalFuzzRecords.h"

#include "DbDatabase.h"
#include "OdError.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    static OdDbDatabasePtr db = (zalFuzzRecords::initialize(), OdDbDatabase::createObject());
    const auto& records = zalFuzzRecords::all();
    const zalFuzzRecords::Record& record = records[data[0] % records.size()];
    OdDbDwgMemoryFilerPtr filer = OdDbDwgMemoryFiler::createObject();
    filer->setDatabase(db.get());
    zalFuzzFiler::toFiler(data + 1, data + size, filer.get());
    filer->rewind();
    try {
        record.read(filer.get());
    } catch (const OdError&) {
    }
    return 0;
}
