#pragma once

#include "zalImportResult.h"

#include "DbObjectId.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <string>
#include <unordered_map>

class OdDbBlockTableRecord;
class OdDbDatabase;
class OdDbEntity;
class dimeEntity;
class dimeModel;
class zalDxfGroupReader;
class zalDxfMaterials;
class zalDxfText;
class zalHostPhysicsMaterials;

// Reads a DXF file into a database through libdime: layers (on, frozen, locked, colour,
// material), block definitions and INSERTs with their full transform, 3D faces, polyface and
// polygon meshes, MESH and LIGHT entities from their group codes, and the 2D entities (lines, arcs,
// circles, polylines, text) as the database's own. Materials come from the OBJECTS section. Handles
// of the file are kept; filer records (310 chunks) the host wrote give every field back, and
// entities of registered custom classes are made from theirs. Block references that cycle or nest
// deeper than kMaxNesting refuse the file; entities with absurd coordinates are left out with a warning.
class zalDxfImporter
{
public:
    // Drawing units beyond which a coordinate is taken as damaged (the viewer works in floats).
    static constexpr double kCoordinateLimit = 1e15;
    // Deepest nesting of block references accepted (a reference in model space is level 1).
    static constexpr int kMaxNesting = 256;

    // physics: where the physical descriptions the file carries are set (null: they are not read).
    explicit zalDxfImporter(OdDbDatabase* db, zalHostPhysicsMaterials* physics = nullptr);
    ~zalDxfImporter();

    // The file must exist and not be empty (the caller checks).
    zalImportResult importFile(const QString& path);

private:
    friend struct zalDxfEntityMakers;

    void importLayers(dimeModel& model);
    void importBlocks(dimeModel& model);
    // Appends the entity's counterpart to owner; false when the kind is not kept.
    bool importEntity(dimeEntity* entity, OdDbBlockTableRecord* owner);
    void applyCommon(dimeEntity* entity, OdDbEntity* target);
    // For an entity the structure check cut to a stub: the entity read again from its whole text, held
    // by holder. Null for an entity that is no stub.
    dimeEntity* wholeEntityOf(dimeEntity* stub, std::unique_ptr<dimeModel>& holder) const;
    // The entity that owns this one (group 330 naming an entity, not a block); null for none.
    OdDbObjectId entityOwnerOf(dimeEntity* entity) const;
    // Reads the records of entities that own others again, now that their ids resolve.
    void resolveOwnedEntities();
    OdDbObjectId layerId(const char* name);
    OdDbObjectId layerIdOf(const char* name);
    // False for an entity with a coordinate beyond kCoordinateLimit or not finite.
    bool isFinite(OdDbEntity* entity) const;
    // Refuses cyclic block references and nesting deeper than kMaxNesting; the message names the block.
    bool checkNesting(dimeModel& model, QString* message) const;
    void importHeader(const zalDxfGroupReader& groups);
    void importViewports(const zalDxfGroupReader& groups);

    void importDescriptions();

    OdDbDatabase* m_db;
    zalHostPhysicsMaterials* m_physics;
    std::unique_ptr<zalDxfText> m_text;
    std::unique_ptr<zalDxfMaterials> m_materials;
    QHash<QString, OdDbObjectId> m_layers;
    std::unordered_map<std::string, OdDbObjectId> m_layersByRawName;
    QHash<QString, OdDbObjectId> m_blocks;
    // Filer records of the module's entities by handle, and the entities that own others.
    std::unordered_map<OdUInt64, std::string> m_customRecords;
    // The filer records the structure check set apart (ASCII files); null while none is read.
    const zalDxfGroupReader* m_apart = nullptr;
    QList<OdDbObjectId> m_owners;
    zalImportResult m_result;
};
