#pragma once

#include <QString>

class OdDbDatabase;
class zalHostPhysicsMaterials;

// Writes a database as an ASCII DXF file (AC1015 layout) that zalDxfImporter opens again as the
// same drawing: header variables, the viewport and layer tables, block definitions, entities and
// the MATERIAL objects, each with its handle; a material whose physical description an importer set
// (a model's PBR material) carries it as application data (1001 ZAL_PHYSICS_MATERIAL, then its JSON
// as binary chunks, 1004). Standard entities keep their DXF groups; lights,
// meshes, materials and viewports add their filer record as binary chunks (310), and entities of
// the module's own classes are written under their class's DXF name with the record alone.
class zalDxfWriter
{
public:
    // False with error set (one line) when the file cannot be written. The file is replaced only
    // once it is written completely.
    // physics: the library whose imported descriptions the file keeps (null: none are written).
    static bool write(OdDbDatabase* db, const QString& path, QString* error = nullptr,
                      const zalHostPhysicsMaterials* physics = nullptr);
    // Application name of the description's data on a MATERIAL object.
    static constexpr const char* kPhysicsApplication = "ZAL_PHYSICS_MATERIAL";
};
