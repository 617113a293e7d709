// The model importer on a file with the input's bytes: assimp parses it in the reader child process,
// then the host reads the child's scene dump and translates it into the database. A crash or hang of
// assimp itself costs only the child; this target checks that the host side survives any file. The
// first byte picks the format by the file's extension: glTF text, binary glTF or OBJ.
#include "zalFuzzSupport.h"

#include "zalHostPhysicsMaterials.h"
#include "zalModelImporter.h"

#include "DbDatabase.h"
#include "odkit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool ready =
        (zalFuzz::application(), odInitialize(), zalModelImporter::setReaderTimeout(20000), true);
    (void)ready;
    if (size < 1) return 0;
    static const char* const names[] = {"input.gltf", "input.glb", "input.obj"};
    const QString path = zalFuzz::writeFile(QString::fromLatin1(names[data[0] % 3]), data + 1, size - 1);
    if (path.isEmpty()) return 0;
    // The materials service outlives the drawing, as in the host: it must forget the drawing's ids.
    static zalHostPhysicsMaterials materials(zalFuzz::scratch().path());
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    zalModelImporter importer(db.get(), &materials);
    (void)importer.importFile(path);
    return 0;
}
