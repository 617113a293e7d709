#include "zalDrawingImporter.h"

#include "zalDxfImporter.h"
#include "zalModelImporter.h"

#include <QFileInfo>

zalImportResult zalDrawingImporter::importFile(const QString& path, OdDbDatabase* db,
                                               zalHostPhysicsMaterials* materials)
{
    const QFileInfo info(path);
    if (path.isEmpty()) return zalImportResult::failure(QStringLiteral("no file named"));
    if (!info.exists()) return zalImportResult::failure(path + QStringLiteral(": no such file"));
    if (!info.isFile()) return zalImportResult::failure(path + QStringLiteral(": not a file"));
    if (!info.isReadable()) return zalImportResult::failure(path + QStringLiteral(": cannot be read"));
    if (info.size() == 0) return zalImportResult::failure(path + QStringLiteral(": empty file"));
    if (!db) return zalImportResult::failure(QStringLiteral("no database to import into"));

    zalImportResult result;
    if (isDxf(path))
        result = zalDxfImporter(db, materials).importFile(path);
    else
        result = zalModelImporter(db, materials).importFile(path);
    if (result.ok && result.entities == 0 && result.blocks == 0)
        return zalImportResult::failure(info.fileName() + QStringLiteral(": nothing to show in the file"));
    return result;
}

QString zalDrawingImporter::fileFilter()
{
    return QStringLiteral("Drawings and models (*.dxf *.gltf *.glb *.obj *.fbx *.dae *.ply *.stl *.3ds);;"
                          "DXF drawings (*.dxf);;glTF models (*.gltf *.glb);;All files (*)");
}

bool zalDrawingImporter::isDxf(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("dxf"), Qt::CaseInsensitive) == 0;
}
