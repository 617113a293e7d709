#pragma once

#include "zalImportResult.h"

#include <QString>
#include <QStringList>

class OdDbDatabase;
class zalHostPhysicsMaterials;

// Opens a drawing or model file into a database: DXF through libdime, everything else through
// assimp. A missing, empty, cut or unreadable file gives a result whose message is one line naming
// the file and the cause.
class zalDrawingImporter
{
public:
    // materials may be null: model materials then get no physical description, and those a saved
    // drawing carries are not read.
    static zalImportResult importFile(const QString& path, OdDbDatabase* db,
                                      zalHostPhysicsMaterials* materials = nullptr);
    // File dialog filter of the formats that can be opened.
    static QString fileFilter();
    static bool isDxf(const QString& path);
};
