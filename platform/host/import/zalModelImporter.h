#pragma once

#include "zalImportResult.h"

#include "DbObjectId.h"
#include "Ge/GeMatrix3d.h"

#include <QHash>
#include <QString>
#include <QVector>

class OdDbDatabase;
class zalHostPhysicsMaterials;
struct aiMaterial;
struct aiNode;
struct aiScene;

// Reads a model file (glTF 2.0, OBJ and the other formats assimp knows) into a database: each
// distinct set of meshes a node shows becomes a block with one shell entity (per-face materials,
// vertex normals, texture coordinates) and each node a reference to it, so a mesh used by several
// nodes is defined once. PBR materials become OdDbMaterial objects with a physical description for
// the host's materials service; punctual lights OdDbLight entities; the first camera the active
// viewport's view. glTF's Y-up frame is turned to the drawing's Z-up; lengths are metres.
class zalModelImporter
{
public:
    // materials may be null (no physical descriptions are recorded then).
    zalModelImporter(OdDbDatabase* db, zalHostPhysicsMaterials* materials);

    zalImportResult importFile(const QString& path);

    // The child process that parses model files: $ZAL_MODEL_READER, or zalmodelreader beside the
    // running executable. A read that takes longer than the timeout (10 minutes) is stopped.
    static QString readerPath();
    static void setReaderTimeout(int milliseconds);

private:
    static QString runReader(const QString& path, const QString& dump);
    static int s_readerTimeoutMs;

    void importMaterials(const aiScene* scene);
    void describeMaterial(const aiMaterial* material, const OdDbObjectId& id, const QString& folder);
    OdDbObjectId shapeBlock(const aiScene* scene, const aiNode* node);
    void importNode(const aiScene* scene, const aiNode* node, const OdGeMatrix3d& parentWorld);
    void importLights(const aiScene* scene);
    void importCamera(const aiScene* scene);

    OdDbDatabase* m_db;
    zalHostPhysicsMaterials* m_physics;
    QVector<OdDbObjectId> m_materialIds;      // by assimp material index; null for dropped ones
    QHash<QString, OdDbObjectId> m_shapes;    // mesh index list -> block
    QHash<QString, OdGeMatrix3d> m_nodeWorld; // node name -> world transform
    QString m_folder;
    QString m_baseName;
    bool m_yUp = false;
    zalImportResult m_result;
};
