// The DXF importer (our structure checks, then libdime, then the translation into the database)
// on a file with the input's bytes.
#include "zalFuzzSupport.h"

#include "zalDxfImporter.h"

#include "DbDatabase.h"
#include "odkit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool ready = (zalFuzz::application(), odInitialize(), true);
    (void)ready;
    const QString path = zalFuzz::writeFile(QStringLiteral("input.dxf"), data, size);
    if (path.isEmpty()) return 0;
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    zalDxfImporter importer(db.get());
    (void)importer.importFile(path);
    return 0;
}
