#pragma once

#include "zalImportResult.h"

#include "DbObjectId.h"

#include <QHash>
#include <QString>

#include <memory>

class OdDbBlockTableRecord;
class OdDbDatabase;
class OdDbEntity;
class dimeEntity;
class dimeModel;
class zalDxfMaterials;
class zalDxfText;

// Reads a DXF file into a database through libdime: layers (on, frozen, locked, colour,
// material), block definitions and INSERTs with their full transform, 3D faces, polyface and
// polygon meshes, MESH and LIGHT entities from their group codes, and the 2D entities (lines, arcs,
// circles, polylines, text) as the database's own. Materials come from the OBJECTS section.
class zalDxfImporter
{
public:
    explicit zalDxfImporter(OdDbDatabase* db);
    ~zalDxfImporter();

    // The file must exist and not be empty (the caller checks).
    zalImportResult importFile(const QString& path);

private:
    void importLayers(dimeModel& model);
    void importBlocks(dimeModel& model);
    // Appends the entity's counterpart to owner; false when the kind is not kept.
    bool importEntity(dimeEntity* entity, OdDbBlockTableRecord* owner);
    void applyCommon(dimeEntity* entity, OdDbEntity* target);
    OdDbObjectId layerId(const char* name);

    OdDbDatabase* m_db;
    std::unique_ptr<zalDxfText> m_text;
    std::unique_ptr<zalDxfMaterials> m_materials;
    QHash<QString, OdDbObjectId> m_layers;
    QHash<QString, OdDbObjectId> m_blocks;
    zalImportResult m_result;
};
