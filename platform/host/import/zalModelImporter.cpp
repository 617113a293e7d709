#include "zalModelImporter.h"

#include "zalHostPhysicsMaterial.h"
#include "zalHostPhysicsMaterials.h"
#include "zalStrings.h"

#include "DbAbstractViewTableRecord.h"
#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbDictionary.h"
#include "DbLight.h"
#include "DbMaterial.h"
#include "DbSubDMesh.h"
#include "DbViewportTableRecord.h"
#include "OdError.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

namespace {

QString text(const aiString& s)
{
    return QString::fromUtf8(s.C_Str(), int(s.length));
}

OdGeMatrix3d toMatrix(const aiMatrix4x4& m)
{
    OdGeMatrix3d r;
    const ai_real* src = &m.a1;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            r[row][col] = double(src[row * 4 + col]);
    return r;
}

QString oneLine(QString s)
{
    s.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
    return s.trimmed();
}

// Called once per shape: the characters a block name cannot hold are replaced without a regular
// expression (compiling one per call was a twentieth of a large model's import).
QString blockNameFrom(const QString& raw)
{
    static const QString forbidden = QStringLiteral("<>/\\\":;?*|,=`");
    QString s = raw;
    for (QChar& c : s)
        if (forbidden.contains(c)) c = QLatin1Char('_');
    return s.trimmed();
}

} // namespace

zalModelImporter::zalModelImporter(OdDbDatabase* db, zalHostPhysicsMaterials* materials)
    : m_db(db), m_physics(materials)
{
}

int zalModelImporter::s_readerTimeoutMs = 10 * 60 * 1000;

QString zalModelImporter::readerPath()
{
    const QString configured = qEnvironmentVariable("ZAL_MODEL_READER");
    if (!configured.isEmpty()) return configured;
    // Beside the running executable: the host's and the tests' binaries share one folder.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + QStringLiteral("/zalmodelreader");
}

void zalModelImporter::setReaderTimeout(int milliseconds)
{
    s_readerTimeoutMs = milliseconds;
}

QString zalModelImporter::runReader(const QString& path, const QString& dump)
{
    QProcess reader;
    reader.setProgram(readerPath());
    reader.setArguments({path, dump});
    reader.setStandardOutputFile(QProcess::nullDevice());
    reader.start();
    if (!reader.waitForStarted(30000))
        return QStringLiteral("the model reader %1 could not be started (%2)")
            .arg(reader.program(), reader.errorString());
    if (!reader.waitForFinished(s_readerTimeoutMs)) {
        reader.kill();
        reader.waitForFinished(-1);
        return QStringLiteral("not a readable model file (reading it took longer than %1 s)")
            .arg(s_readerTimeoutMs / 1000);
    }
    if (reader.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("not a readable model file (the reader stopped on it)");
    const QString why = oneLine(QString::fromUtf8(reader.readAllStandardError()).left(400));
    switch (reader.exitCode()) {
    case 0:
        return QString();
    case 2:
        return QStringLiteral("not a readable model file") +
               (why.isEmpty() ? QString() : QStringLiteral(" (") + why + QStringLiteral(")"));
    default:
        return QStringLiteral("the model reader failed (exit code %1%2)")
            .arg(reader.exitCode())
            .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why);
    }
}

zalImportResult zalModelImporter::importFile(const QString& path)
{
    m_result = zalImportResult();
    const QFileInfo info(path);
    m_result.format = info.suffix().toLower();
    m_folder = info.absolutePath();
    m_baseName = blockNameFrom(info.completeBaseName());
    if (m_baseName.isEmpty()) m_baseName = QStringLiteral("model");
    m_yUp = m_result.format == QLatin1String("gltf") || m_result.format == QLatin1String("glb");

    // assimp parses the file in a child process: a crash or runaway on a hostile file costs the
    // import, never the host. What the child wrote is assimp's own binary dump of the scene.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return zalImportResult::failure(info.fileName() +
                                        QStringLiteral(": no temporary folder to read it in"));
    const QString dump = scratch.filePath(QStringLiteral("model.assbin"));
    const QString failed = runReader(path, dump);
    if (!failed.isEmpty()) return zalImportResult::failure(info.fileName() + QStringLiteral(": ") + failed);

    // Only a dump the reader finished is handed to assimp (its dump loader trusts its input). It is read
    // in one go and parsed from memory: assimp's file reading takes it a few bytes at a time.
    QFile written(dump);
    const QByteArray bytes = written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
    written.close();
    if (!bytes.startsWith("ASSIMP.binary-dump."))
        return zalImportResult::failure(
            info.fileName() + QStringLiteral(": the model reader wrote no scene it could be read from"));

    Assimp::Importer importer;
    const aiScene* scene =
        importer.ReadFileFromMemory(bytes.constData(), std::size_t(bytes.size()), 0, "assbin");
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode) {
        const QString why = oneLine(QString::fromUtf8(importer.GetErrorString()));
        return zalImportResult::failure(
            info.fileName() + QStringLiteral(": not a readable model file") +
            (why.isEmpty() ? QString() : QStringLiteral(" (") + why + QStringLiteral(")")));
    }

    try {
        m_db->setINSUNITS(OdDb::kUnitsMeters);
        importMaterials(scene);
        // Y-up models stand up in the drawing's Z-up world: (x, y, z) -> (x, -z, y).
        OdGeMatrix3d root;
        if (m_yUp) root = OdGeMatrix3d::rotation(OdaPI / 2.0, OdGeVector3d::kXAxis);
        importNode(scene, scene->mRootNode, root);
        importLights(scene);
        importCamera(scene);
    } catch (const OdError& error) {
        return zalImportResult::failure(info.fileName() + QStringLiteral(": ") +
                                        zalStrings::toQString(error.description()));
    }
    m_result.ok = true;
    return m_result;
}

void zalModelImporter::importMaterials(const aiScene* scene)
{
    m_materialIds.fill(OdDbObjectId(), int(scene->mNumMaterials));
    QSet<unsigned> used;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i)
        used.insert(scene->mMeshes[i]->mMaterialIndex);
    OdDbDictionaryPtr dictionary = m_db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        const aiMaterial* material = scene->mMaterials[i];
        QString name = text(material->GetName());
        // assimp adds a material of its own for meshes the file left without one (named, or for
        // glTF unnamed and unused); the drawing's entities then keep their layer's material instead.
        if (name == QLatin1String(AI_DEFAULT_MATERIAL_NAME) || (name.isEmpty() && !used.contains(i)))
            continue;
        if (name.isEmpty()) name = QStringLiteral("Material %1").arg(i);
        QString unique = name;
        for (int n = 2; dictionary->has(zalStrings::toOdString(unique)); ++n)
            unique = QStringLiteral("%1 (%2)").arg(name).arg(n);

        OdDbMaterialPtr m = OdDbMaterial::createObject();
        m->setName(zalStrings::toOdString(unique));

        aiColor4D base(1.f, 1.f, 1.f, 1.f);
        if (material->Get(AI_MATKEY_BASE_COLOR, base) != AI_SUCCESS) {
            aiColor3D diffuse(1.f, 1.f, 1.f);
            if (material->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS)
                base = aiColor4D(diffuse.r, diffuse.g, diffuse.b, 1.f);
        }
        const auto channel = [](float c) { return OdUInt8(std::lround(std::clamp(c, 0.f, 1.f) * 255.f)); };
        OdGiMaterialColor diffuseColor(OdCmEntityColor(channel(base.r), channel(base.g), channel(base.b)));
        OdGiMaterialMap diffuseMap;
        aiString texture;
        if (material->GetTexture(aiTextureType_BASE_COLOR, 0, &texture) == AI_SUCCESS ||
            material->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS) {
            diffuseMap.setSource(OdGiMaterialMap::kFile);
            diffuseMap.setSourceFileName(zalStrings::toOdString(text(texture)));
        }
        m->setDiffuse(diffuseColor, diffuseMap);

        float opacity = base.a;
        float value = 1.f;
        if (material->Get(AI_MATKEY_OPACITY, value) == AI_SUCCESS) opacity = std::min(opacity, value);
        float transmission = 0.f;
        if (material->Get(AI_MATKEY_TRANSMISSION_FACTOR, transmission) == AI_SUCCESS && transmission > 0.f)
            opacity = std::min(opacity, 1.f - transmission);
        m->setOpacity(std::clamp(double(opacity), 0.0, 1.0), OdGiMaterialMap());

        float roughness = 1.f;
        if (material->Get(AI_MATKEY_ROUGHNESS_FACTOR, roughness) == AI_SUCCESS)
            m->setSpecular(OdGiMaterialColor(), OdGiMaterialMap(),
                           1.0 - std::clamp(double(roughness), 0.0, 1.0));
        float metallic = 0.f;
        if (material->Get(AI_MATKEY_METALLIC_FACTOR, metallic) == AI_SUCCESS)
            m->setReflectivity(std::clamp(double(metallic), 0.0, 1.0));
        if (material->GetTexture(aiTextureType_NORMALS, 0, &texture) == AI_SUCCESS) {
            OdGiMaterialMap bump;
            bump.setSource(OdGiMaterialMap::kFile);
            bump.setSourceFileName(zalStrings::toOdString(text(texture)));
            m->setBump(bump);
        }
        int twoSided = 0;
        if (material->Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS) m->setTwoSided(twoSided != 0);

        const OdDbObjectId id = dictionary->setAt(zalStrings::toOdString(unique), m.get());
        m_materialIds[int(i)] = id;
        ++m_result.materials;
        if (m_physics) describeMaterial(material, id, m_folder);
    }
}

void zalModelImporter::describeMaterial(const aiMaterial* material, const OdDbObjectId& id,
                                        const QString& folder)
{
    std::shared_ptr<zalHostPhysicsMaterial> d = m_physics->newDescription();
    d->setBaseMaterial(text(material->GetName()));
    const auto file = [&folder](const aiString& t) {
        const QString name = text(t);
        return QFileInfo(name).isRelative() ? folder + QLatin1Char('/') + name : name;
    };

    aiColor4D base(1.f, 1.f, 1.f, 1.f);
    if (material->Get(AI_MATKEY_BASE_COLOR, base) != AI_SUCCESS) {
        aiColor3D diffuse(1.f, 1.f, 1.f);
        if (material->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS)
            base = aiColor4D(diffuse.r, diffuse.g, diffuse.b, 1.f);
    }
    aiString texture;
    if (material->GetTexture(aiTextureType_BASE_COLOR, 0, &texture) == AI_SUCCESS ||
        material->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS)
        d->setChannel(QStringLiteral("diffuseColor"), zalHostPhysicsMaterial::textureChannel(file(texture)));
    else
        d->setChannel(QStringLiteral("diffuseColor"),
                      zalHostPhysicsMaterial::colorChannel(base.r, base.g, base.b, 1.0));

    float opacity = base.a;
    float value = 1.f;
    if (material->Get(AI_MATKEY_OPACITY, value) == AI_SUCCESS) opacity = std::min(opacity, value);
    float transmission = 0.f;
    if (material->Get(AI_MATKEY_TRANSMISSION_FACTOR, transmission) == AI_SUCCESS && transmission > 0.f)
        opacity = std::min(opacity, 1.f - transmission);
    if (opacity < 1.f)
        d->setChannel(QStringLiteral("opacity"), zalHostPhysicsMaterial::scalarChannel(opacity));
    // See-through materials take the viewer's translucent shader, the rest the standard one.
    d->setShaderType(opacity < 1.f ? 2 : 0);

    float metallic = 0.f;
    if (material->Get(AI_MATKEY_METALLIC_FACTOR, metallic) == AI_SUCCESS)
        d->setChannel(QStringLiteral("metalness"), zalHostPhysicsMaterial::scalarChannel(metallic));
    float roughness = 1.f;
    if (material->Get(AI_MATKEY_ROUGHNESS_FACTOR, roughness) == AI_SUCCESS)
        d->setChannel(QStringLiteral("roughness"), zalHostPhysicsMaterial::scalarChannel(roughness));
    aiColor3D emissive(0.f, 0.f, 0.f);
    if (material->Get(AI_MATKEY_COLOR_EMISSIVE, emissive) == AI_SUCCESS && !emissive.IsBlack())
        d->setChannel(QStringLiteral("emissiveColor"),
                      zalHostPhysicsMaterial::colorChannel(emissive.r, emissive.g, emissive.b, 1.0));
    if (material->GetTexture(aiTextureType_NORMALS, 0, &texture) == AI_SUCCESS)
        d->setChannel(QStringLiteral("normal"), zalHostPhysicsMaterial::textureChannel(file(texture)));
    m_physics->setDescription(id, d);
}

OdDbObjectId zalModelImporter::shapeBlock(const aiScene* scene, const aiNode* node)
{
    QStringList keyParts;
    for (unsigned i = 0; i < node->mNumMeshes; ++i)
        keyParts << QString::number(node->mMeshes[i]);
    const QString key = keyParts.join(QLatin1Char(','));
    auto it = m_shapes.constFind(key);
    if (it != m_shapes.constEnd()) return it.value();

    OdArray<OdGePoint3d> vertices;
    OdArray<OdInt32> faces;
    OdArray<OdDbObjectId> faceMaterials;
    OdArray<OdGeVector3d> normals;
    OdArray<OdGePoint3d> uvs;
    bool allNormals = true;
    bool allUvs = true;
    QString meshName;
    unsigned vertexCount = 0, faceCount = 0, indexCount = 0;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const unsigned index = node->mMeshes[i];
        if (index >= scene->mNumMeshes) continue;
        const aiMesh* mesh = scene->mMeshes[index];
        if (meshName.isEmpty()) meshName = text(mesh->mName);
        allNormals = allNormals && mesh->HasNormals();
        allUvs = allUvs && mesh->HasTextureCoords(0);
        vertexCount += mesh->mNumVertices;
        faceCount += mesh->mNumFaces;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f)
            indexCount += 1 + mesh->mFaces[f].mNumIndices;
    }
    // Sized once: growing them a vertex at a time was a tenth of a large model's import.
    vertices.reserve(vertexCount);
    if (allNormals) normals.reserve(vertexCount);
    if (allUvs) uvs.reserve(vertexCount);
    faces.reserve(indexCount);
    faceMaterials.reserve(faceCount);
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        const unsigned index = node->mMeshes[i];
        if (index >= scene->mNumMeshes) continue;
        const aiMesh* mesh = scene->mMeshes[index];
        const OdInt32 offset = OdInt32(vertices.size());
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            const aiVector3D& p = mesh->mVertices[v];
            vertices.append(OdGePoint3d(p.x, p.y, p.z));
            if (allNormals) {
                const aiVector3D& n = mesh->mNormals[v];
                normals.append(OdGeVector3d(n.x, n.y, n.z));
            }
            if (allUvs) {
                const aiVector3D& t = mesh->mTextureCoords[0][v];
                uvs.append(OdGePoint3d(t.x, t.y, 0.0));
            }
        }
        const OdDbObjectId material = mesh->mMaterialIndex < unsigned(m_materialIds.size())
                                          ? m_materialIds[int(mesh->mMaterialIndex)]
                                          : OdDbObjectId();
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices < 3) continue;
            faces.append(OdInt32(face.mNumIndices));
            for (unsigned k = 0; k < face.mNumIndices; ++k)
                faces.append(offset + OdInt32(face.mIndices[k]));
            faceMaterials.append(material);
        }
    }
    if (faceMaterials.isEmpty()) return OdDbObjectId();

    OdDbSubDMeshPtr shell = OdDbSubDMesh::createObject();
    if (shell->setSubDMesh(vertices, faces, 0) != eOk) return OdDbObjectId();
    shell->setFaceMaterials(faceMaterials);
    if (allNormals) shell->setVertexNormalArray(normals);
    if (allUvs) shell->setVertexTextureArray(uvs);
    shell->setDatabaseDefaults(m_db);

    OdDbBlockTablePtr table = m_db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
    QString base = blockNameFrom(meshName.isEmpty() ? text(node->mName) : meshName);
    if (base.isEmpty()) base = QStringLiteral("mesh");
    QString name = m_baseName + QLatin1Char('_') + base;
    for (int n = 2; table->has(zalStrings::toOdString(name)); ++n)
        name = QStringLiteral("%1_%2_%3").arg(m_baseName, base).arg(n);
    OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
    block->setName(zalStrings::toOdString(name));
    const OdDbObjectId id = table->add(block.get());
    block->appendOdDbEntity(shell.get());
    ++m_result.blocks;
    m_shapes.insert(key, id);
    return id;
}

void zalModelImporter::importNode(const aiScene* scene, const aiNode* node, const OdGeMatrix3d& parentWorld)
{
    const OdGeMatrix3d world = parentWorld * toMatrix(node->mTransformation);
    m_nodeWorld.insert(text(node->mName), world);
    if (node->mNumMeshes > 0) {
        const OdDbObjectId block = shapeBlock(scene, node);
        if (!block.isNull()) {
            OdDbBlockTableRecordPtr modelSpace = m_db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
            OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
            ref->setDatabaseDefaults(m_db);
            ref->setBlockTableRecord(block);
            if (ref->setBlockTransform(world) == eOk) {
                modelSpace->appendOdDbEntity(ref.get());
                ++m_result.references;
                ++m_result.entities;
            } else {
                // A sheared transform has no insertion form: this node gets its own transformed copy.
                OdDbBlockTableRecordPtr shape = block.safeOpenObject();
                for (OdDbObjectIteratorPtr it = shape->newIterator(); !it->done(); it->step()) {
                    OdDbEntityPtr source = it->entity();
                    auto* original = dynamic_cast<OdDbSubDMesh*>(source.get());
                    if (!original) continue;
                    OdDbSubDMeshPtr copy = OdDbSubDMesh::createObject();
                    copy->setSubDMesh(original->vertices(), original->faceList(), original->subDLevel());
                    copy->setFaceMaterials(original->faceMaterials());
                    copy->setVertexNormalArray(original->vertexNormalArray());
                    copy->setVertexTextureArray(original->vertexTextureArray());
                    copy->setDatabaseDefaults(m_db);
                    copy->transformBy(world);
                    modelSpace->appendOdDbEntity(copy.get());
                    ++m_result.entities;
                }
            }
        }
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        importNode(scene, node->mChildren[i], world);
}

void zalModelImporter::importLights(const aiScene* scene)
{
    if (scene->mNumLights == 0) return;
    OdDbBlockTableRecordPtr modelSpace = m_db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    for (unsigned i = 0; i < scene->mNumLights; ++i) {
        const aiLight* source = scene->mLights[i];
        OdDbLight::DrawableType type;
        switch (source->mType) {
        case aiLightSource_DIRECTIONAL:
            type = OdGiDrawable::kDistantLight;
            break;
        case aiLightSource_POINT:
            type = OdGiDrawable::kPointLight;
            break;
        case aiLightSource_SPOT:
            type = OdGiDrawable::kSpotLight;
            break;
        default:
            continue;
        }
        // The light's own position and direction are relative to the node of the same name.
        const OdGeMatrix3d world = m_nodeWorld.value(text(source->mName), OdGeMatrix3d());
        OdGePoint3d position(source->mPosition.x, source->mPosition.y, source->mPosition.z);
        position.transformBy(world);
        OdGeVector3d direction(source->mDirection.x, source->mDirection.y, source->mDirection.z);
        direction.transformBy(world);
        if (direction.isZeroLength()) direction = -OdGeVector3d::kZAxis;
        direction.normalize();

        OdDbLightPtr light = OdDbLight::createObject();
        light->setDatabaseDefaults(m_db);
        light->setName(zalStrings::toOdString(text(source->mName)));
        light->setLightType(type);
        light->setOn(true);
        light->setPosition(position);
        light->setTargetLocation(position + direction);
        if (type == OdGiDrawable::kDistantLight) light->setLightDirection(direction);
        // assimp hands the colour already multiplied by the intensity: split it again.
        const double r = source->mColorDiffuse.r, g = source->mColorDiffuse.g, b = source->mColorDiffuse.b;
        const double intensity = std::max({r, g, b});
        OdCmColor color;
        if (intensity > 0.0)
            color.setRGB(OdUInt8(std::lround(r / intensity * 255.0)),
                         OdUInt8(std::lround(g / intensity * 255.0)),
                         OdUInt8(std::lround(b / intensity * 255.0)));
        else
            color.setRGB(255, 255, 255);
        light->setLightColor(color);
        light->setIntensity(intensity);
        if (type == OdGiDrawable::kSpotLight)
            // The file gives half-angles from the axis; the drawing keeps full cone angles.
            light->setHotspotAndFalloff(2.0 * source->mAngleInnerCone, 2.0 * source->mAngleOuterCone);
        modelSpace->appendOdDbEntity(light.get());
        ++m_result.lights;
        ++m_result.entities;
    }
}

void zalModelImporter::importCamera(const aiScene* scene)
{
    if (scene->mNumCameras == 0) return;
    const aiCamera* camera = scene->mCameras[0];
    const OdGeMatrix3d world = m_nodeWorld.value(text(camera->mName), OdGeMatrix3d());
    OdGePoint3d position(camera->mPosition.x, camera->mPosition.y, camera->mPosition.z);
    // The glTF reader also copies its node's translation into the camera; counted once.
    const aiNode* node = scene->mRootNode->FindNode(camera->mName);
    if (node) {
        const aiMatrix4x4& t = node->mTransformation;
        if (OdGePoint3d(t.a4, t.b4, t.c4).isEqualTo(position, OdGeTol(1e-6))) position = OdGePoint3d::kOrigin;
    }
    position.transformBy(world);
    OdGeVector3d look(camera->mLookAt.x, camera->mLookAt.y, camera->mLookAt.z);
    look.transformBy(world);
    OdGeVector3d up(camera->mUp.x, camera->mUp.y, camera->mUp.z);
    up.transformBy(world);
    if (look.isZeroLength() || up.isZeroLength()) return;

    OdDbViewportTableRecordPtr viewport = m_db->activeViewportId().safeOpenObject(OdDb::kForWrite);
    viewport->setView(position, position + look.normal(), up.normal());
    if (camera->mHorizontalFOV > 0.f) {
        viewport->setPerspectiveEnabled(true);
        // Lens of a 36 mm wide film frame with that horizontal field of view.
        viewport->setLensLength(18.0 / std::tan(camera->mHorizontalFOV / 2.0));
    }
}
