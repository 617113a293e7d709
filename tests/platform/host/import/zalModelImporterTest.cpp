// Model import through assimp: a glTF file with two materials, a mesh used by two nodes, a spot light
// and a camera, and an OBJ file with its MTL, both written by the tests.
#include "zalModelImporter.h"
#include "zalDrawingImporter.h"
#include "zalImportTestSupport.h"

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbDictionary.h"
#include "DbLight.h"
#include "DbMaterial.h"
#include "DbSubDMesh.h"
#include "DbViewportTableRecord.h"
#include "zalHostPhysicsMaterials.h"
#include "zalStrings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <assimp/Exporter.hpp>
#include <assimp/scene.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>

using namespace zalImportTest;

namespace {

OdDbObjectId material(OdDbDatabase* db, const char* name)
{
    OdDbDictionaryPtr dictionary = db->getMaterialDictionaryId().safeOpenObject();
    return dictionary->getAt(OdString(name));
}

class GltfImport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("pair.gltf"));
        ASSERT_TRUE(writeFile(path, gltf()));
        db = OdDbDatabase::createObject();
        physics.reset(new zalHostPhysicsMaterials(dir.path()));
        result = zalDrawingImporter::importFile(path, db.get(), physics.get());
        ASSERT_TRUE(result.ok) << result.message.toStdString();
    }

    QTemporaryDir dir;
    QString path;
    OdDbDatabasePtr db;
    std::unique_ptr<zalHostPhysicsMaterials> physics;
    zalImportResult result;
};

} // namespace

TEST_F(GltfImport, OneBlockForTheSharedMeshAndAReferencePerNode)
{
    EXPECT_EQ(result.blocks, 1);
    EXPECT_EQ(result.references, 2);
    EXPECT_EQ(result.lights, 1);
    EXPECT_EQ(db->getINSUNITS(), OdDb::kUnitsMeters);

    QList<OdDbBlockReference*> refs;
    OdDbObjectIdArray held;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        if (auto* r = dynamic_cast<OdDbBlockReference*>(e)) {
            refs << r;
            r->addRef(); // kept past the walk
        }
    });
    ASSERT_EQ(refs.size(), 2);
    EXPECT_EQ(refs[0]->blockTableRecord(), refs[1]->blockTableRecord());
    // glTF's Y-up turned to Z-up: (x, y, z) -> (x, -z, y).
    EXPECT_TRUE(refs[0]->position().isEqualTo(OdGePoint3d(1, 0, 0)));
    EXPECT_TRUE(refs[1]->position().isEqualTo(OdGePoint3d(0, 5, 0)));
    EXPECT_NEAR(refs[1]->scaleFactors().sx, 2.0, 1e-9);

    OdDbSubDMesh* shell = nullptr;
    forEachEntity(refs[0]->blockTableRecord(), [&](OdDbEntity* e) {
        if (auto* m = dynamic_cast<OdDbSubDMesh*>(e)) {
            shell = m;
            m->addRef();
        }
    });
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(shell->numOfFaces(), 2);
    ASSERT_EQ(shell->faceMaterials().size(), 2u);
    EXPECT_EQ(shell->faceMaterials()[0], material(db.get(), "Red"));
    EXPECT_EQ(shell->faceMaterials()[1], material(db.get(), "Glass"));
    EXPECT_EQ(shell->vertexNormalArray().size(), shell->vertices().size());
    shell->release();
    for (auto* r : refs)
        r->release();
}

TEST_F(GltfImport, PbrMaterialsWithoutAssimpsDefault)
{
    EXPECT_EQ(result.materials, 2);
    EXPECT_TRUE(material(db.get(), "DefaultMaterial").isNull());
    OdDbMaterialPtr red = material(db.get(), "Red").safeOpenObject();
    OdGiMaterialColor color;
    OdGiMaterialMap map;
    red->diffuse(color, map);
    EXPECT_EQ(color.color().red(), 255);
    EXPECT_EQ(color.color().green(), 0);
    EXPECT_NEAR(red->reflectivity(), 0.25, 1e-6);

    OdDbMaterialPtr glass = material(db.get(), "Glass").safeOpenObject();
    double opacity = 1;
    glass->opacity(opacity, map);
    EXPECT_NEAR(opacity, 0.5, 1e-6);

    // The host's materials service describes them for the viewer.
    auto description = physics->materialDescription(material(db.get(), "Glass"));
    ASSERT_TRUE(description);
    EXPECT_EQ(description->body().value(QStringLiteral("shaderType")).toInt(), 2);
    EXPECT_NEAR(description->body()
                    .value(QStringLiteral("opacity"))
                    .toObject()
                    .value(QStringLiteral("scalarValue"))
                    .toArray()
                    .at(0)
                    .toDouble(),
                0.5, 1e-6);
    auto redDescription = physics->materialDescription(material(db.get(), "Red"));
    ASSERT_TRUE(redDescription);
    const QJsonArray diffuse = redDescription->body()
                                   .value(QStringLiteral("diffuseColor"))
                                   .toObject()
                                   .value(QStringLiteral("scalarValue"))
                                   .toArray();
    EXPECT_NEAR(diffuse.at(0).toDouble(), 1.0, 1e-6);
    EXPECT_NEAR(diffuse.at(1).toDouble(), 0.0, 1e-6);
}

TEST_F(GltfImport, SpotLightFromItsNodeWithIntensityTakenOutOfTheColour)
{
    OdDbLight* light = nullptr;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        if (auto* l = dynamic_cast<OdDbLight*>(e)) {
            light = l;
            l->addRef();
        }
    });
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->lightType(), OdGiDrawable::kSpotLight);
    EXPECT_TRUE(light->position().isEqualTo(OdGePoint3d(0, 0, 3)));
    EXPECT_NEAR(light->intensity(), 10.0, 1e-4);
    EXPECT_EQ(light->lightColor().red(), 255);
    EXPECT_EQ(light->lightColor().green(), 128);
    EXPECT_EQ(light->lightColor().blue(), 64);
    // Half-angles in the file, full cone angles in the drawing.
    EXPECT_NEAR(light->hotspotAngle(), 0.4, 1e-5);
    EXPECT_NEAR(light->falloffAngle(), 0.8, 1e-5);
    // The light shines along its node's -Z, which is +Y in the drawing.
    const OdGeVector3d dir = light->targetLocation() - light->position();
    EXPECT_NEAR(dir.normal().y, 1.0, 1e-6);
    light->release();
}

TEST_F(GltfImport, FirstCameraBecomesTheActiveView)
{
    OdDbViewportTableRecordPtr vp = db->activeViewportId().safeOpenObject();
    EXPECT_TRUE(vp->isPerspectiveEnabled());
    EXPECT_TRUE(vp->viewPosition().isEqualTo(OdGePoint3d(0, -10, 1), OdGeTol(1e-6)));
    EXPECT_NEAR(vp->viewDirection().normal().y, -1.0,
                1e-6); // looks towards +Y, from the target to the camera is -Y
}

TEST(ObjImport, MaterialsFromTheMtlFileAndFacesAsOneShell)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("cube.mtl")),
                          "newmtl Blue\nKd 0 0 1\n\nnewmtl Green\nKd 0 1 0\nd 0.5\n"));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("cube.obj")),
                          "mtllib cube.mtl\n"
                          "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
                          "o Cube\nusemtl Blue\nf 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\n"
                          "usemtl Green\nf 2 3 7 6\nf 3 4 8 7\nf 4 1 5 8\n"));
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult r =
        zalDrawingImporter::importFile(dir.filePath(QStringLiteral("cube.obj")), db.get());
    ASSERT_TRUE(r.ok) << r.message.toStdString();
    EXPECT_EQ(r.format, QStringLiteral("obj"));
    EXPECT_EQ(r.materials, 2);

    int faces = 0, blue = 0, green = 0;
    OdGeExtents3d extents;
    forEachEntity(db->getModelSpaceId(), [&](OdDbEntity* e) {
        OdGeExtents3d ext;
        if (e->getGeomExtents(ext) == eOk) extents.addExt(ext);
        auto* ref = dynamic_cast<OdDbBlockReference*>(e);
        if (!ref) return;
        forEachEntity(ref->blockTableRecord(), [&](OdDbEntity* inner) {
            auto* shell = dynamic_cast<OdDbSubDMesh*>(inner);
            if (!shell) return;
            faces += shell->numOfFaces();
            for (const OdDbObjectId& id : shell->faceMaterials()) {
                if (id == material(db.get(), "Blue")) ++blue;
                if (id == material(db.get(), "Green")) ++green;
            }
        });
    });
    EXPECT_EQ(faces, 6);
    EXPECT_EQ(blue, 3);
    EXPECT_EQ(green, 3);
    EXPECT_TRUE(extents.minPoint().isEqualTo(OdGePoint3d(0, 0, 0)));
    EXPECT_TRUE(extents.maxPoint().isEqualTo(OdGePoint3d(1, 1, 1)));

    OdDbMaterialPtr blueMaterial = material(db.get(), "Blue").safeOpenObject();
    OdGiMaterialColor color;
    OdGiMaterialMap map;
    blueMaterial->diffuse(color, map);
    EXPECT_EQ(color.color().blue(), 255);
    EXPECT_EQ(color.color().red(), 0);
    OdDbMaterialPtr greenMaterial = material(db.get(), "Green").safeOpenObject();
    double opacity = 1;
    greenMaterial->opacity(opacity, map);
    EXPECT_NEAR(opacity, 0.5, 1e-6);
}

namespace {

// A scene of `count` grid meshes, mesh i of (4 + i % 9) x 6 quads as triangles, each shown by one node.
std::unique_ptr<aiScene> gridScene(int count)
{
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("root");
    scene->mNumMaterials = 1;
    scene->mMaterials = new aiMaterial* [1] { new aiMaterial() };
    aiString materialName("Grey");
    scene->mMaterials[0]->AddProperty(&materialName, AI_MATKEY_NAME);
    scene->mNumMeshes = unsigned(count);
    scene->mMeshes = new aiMesh*[size_t(count)];
    scene->mRootNode->mNumChildren = unsigned(count);
    scene->mRootNode->mChildren = new aiNode*[size_t(count)];
    for (int m = 0; m < count; ++m) {
        const int columns = 4 + m % 9, rows = 6;
        auto* mesh = new aiMesh();
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        mesh->mNumVertices = unsigned((columns + 1) * (rows + 1));
        mesh->mVertices = new aiVector3D[mesh->mNumVertices];
        for (int r = 0; r <= rows; ++r)
            for (int c = 0; c <= columns; ++c)
                mesh->mVertices[r * (columns + 1) + c] = aiVector3D(float(c), float(r), 0.1f * float(m));
        mesh->mNumFaces = unsigned(columns * rows * 2);
        mesh->mFaces = new aiFace[mesh->mNumFaces];
        unsigned f = 0;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                const unsigned v = unsigned(r * (columns + 1) + c), up = v + unsigned(columns) + 1;
                for (const std::array<unsigned, 3>& t :
                     {std::array<unsigned, 3>{v, v + 1, up + 1}, std::array<unsigned, 3>{v, up + 1, up}}) {
                    aiFace& face = mesh->mFaces[f++];
                    face.mNumIndices = 3;
                    face.mIndices = new unsigned[3]{t[0], t[1], t[2]};
                }
            }
        scene->mMeshes[m] = mesh;
        auto* node = new aiNode("node" + std::to_string(m));
        node->mParent = scene->mRootNode;
        node->mTransformation.a4 = float(m % 20) * 15.f;
        node->mNumMeshes = 1;
        node->mMeshes = new unsigned[1]{unsigned(m)};
        scene->mRootNode->mChildren[m] = node;
    }
    return scene;
}

QByteArray readerErrors(QProcess& reader)
{
    return reader.readAllStandardError();
}

} // namespace

// The model reader's dump of a scene of many meshes reaches the drawing whole: every mesh as a block
// (named after its node: the file's meshes have no names) with all its faces, every node as a reference.
TEST(ModelReaderDump, AManyMeshSceneArrivesWhole)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const int count = 300;
    std::unique_ptr<aiScene> scene = gridScene(count);
    const QString path = dir.filePath(QStringLiteral("grid.glb"));
    Assimp::Exporter exporter;
    ASSERT_EQ(exporter.Export(scene.get(), "glb2", QFile::encodeName(path).toStdString()), AI_SUCCESS)
        << exporter.GetErrorString();

    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult result = zalDrawingImporter::importFile(path, db.get(), nullptr);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(result.blocks, count);
    EXPECT_EQ(result.references, count);
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject();
    for (int m = 0; m < count; ++m) {
        const OdDbObjectId id = blocks->getAt(zalStrings::toOdString(QStringLiteral("grid_node%1").arg(m)));
        ASSERT_FALSE(id.isNull()) << "no block for mesh " << m;
        int faces = 0;
        forEachEntity(id, [&faces](OdDbEntity* e) {
            if (auto* shell = dynamic_cast<OdDbSubDMesh*>(e)) faces += shell->numOfFaces();
        });
        EXPECT_EQ(faces, (4 + m % 9) * 6 * 2) << "mesh " << m;
    }
}

// The reader child tells a dump it cannot write (exit 3) from a file it cannot read (exit 2), with the
// reason on its error output, and ends at once on a cut file.
TEST(ModelReaderDump, AnUnwritableDumpAndACutFileAreToldApart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::unique_ptr<aiScene> scene = gridScene(3);
    const QString path = dir.filePath(QStringLiteral("small.glb"));
    Assimp::Exporter exporter;
    ASSERT_EQ(exporter.Export(scene.get(), "glb2", QFile::encodeName(path).toStdString()), AI_SUCCESS);

    QProcess reader;
    reader.start(zalModelImporter::readerPath(),
                 {path, dir.filePath(QStringLiteral("no-such-folder/out.assbin"))});
    ASSERT_TRUE(reader.waitForFinished(60000));
    EXPECT_EQ(reader.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(reader.exitCode(), 3);
    EXPECT_TRUE(readerErrors(reader).contains("cannot write")) << "no reason given";

    const QByteArray whole = readFile(path);
    const QString cut = dir.filePath(QStringLiteral("cut.glb"));
    ASSERT_TRUE(writeFile(cut, whole.left(whole.size() / 2)));
    reader.start(zalModelImporter::readerPath(), {cut, dir.filePath(QStringLiteral("cut.assbin"))});
    ASSERT_TRUE(reader.waitForFinished(60000)) << "the reader hung on a cut file";
    EXPECT_EQ(reader.exitCode(), 2);
    EXPECT_FALSE(readerErrors(reader).trimmed().isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("cut.assbin"))));

    OdDbDatabasePtr db = OdDbDatabase::createObject();
    const zalImportResult result = zalDrawingImporter::importFile(cut, db.get(), nullptr);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.message.startsWith(QStringLiteral("cut.glb: not a readable model file")))
        << result.message.toStdString();
}
