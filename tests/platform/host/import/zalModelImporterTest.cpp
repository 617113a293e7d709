// Model import through assimp: a glTF file with two materials, a mesh used by two nodes, a spot light
// and a camera, and an OBJ file with its MTL, both written by the tests.
#include "zalDrawingImporter.h"
#include "zalImportTestSupport.h"

#include "DbBlockReference.h"
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
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

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
