#include "tests/common/zalTestHost.h"

#include "IzalPhysicsMaterialsModule.h"
#include "IzalTerrainModellerModule.h"
#include "borderReactorLocker.h"
#include "zalHostPhysicsMaterial.h"
#include "zalHostPhysicsMaterials.h"
#include "zalHostTerrainModeller.h"

#include "CmEntityColor.h"
#include "DbDatabase.h"
#include "DbDictionary.h"
#include "DbMaterial.h"
#include "Ge/GePoint3d.h"
#include "GiMaterialColor.h"
#include "GiMaterialMap.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>

class zalHostMaterials : public ::testing::Test
{
protected:
    zalTestHost host{zalHostOptions::PhysicsMaterials};
    IzalPhysicsMaterialsModule* materials =
        zalService<IzalPhysicsMaterialsModule>(IzalPhysicsMaterialsModule_id);
    OdDbDatabasePtr db = OdDbDatabase::createObject();

    OdDbObjectId addMaterial(const char* name, const std::function<void(OdDbMaterial*)>& setup)
    {
        OdDbMaterialPtr material = OdDbMaterial::createObject();
        material->setName(OdString(name));
        setup(material.get());
        OdDbDictionaryPtr dictionary = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
        return dictionary->setAt(OdString(name), material.get());
    }
    static QJsonArray scalar(const QJsonObject& channel) { return channel.value("scalarValue").toArray(); }
};

TEST_F(zalHostMaterials, libraryRootIsAbsoluteWithoutTrailingSlash)
{
    ASSERT_NE(materials, nullptr);
    EXPECT_EQ(materials->materialLibraryRoot(), QDir::cleanPath(host.filePath("materials")));
    EXPECT_FALSE(materials->materialLibraryRoot().endsWith('/'));
}

TEST_F(zalHostMaterials, colourMaterialIsDescribedFromTheDrawing)
{
    const OdDbObjectId id = addMaterial("Brick", [](OdDbMaterial* m) {
        OdGiMaterialColor colour(OdCmEntityColor(255, 0, 51));
        m->setDiffuse(colour, OdGiMaterialMap());
    });
    auto description = materials->materialDescription(id);
    ASSERT_NE(description, nullptr);
    EXPECT_TRUE(description->isValid());
    EXPECT_EQ(description->baseMaterial(), "Brick");
    const QJsonObject body = description->body();
    EXPECT_EQ(body.value("shaderType").toInt(), 0);
    const QJsonObject diffuse = body.value("diffuseColor").toObject();
    EXPECT_EQ(diffuse.value("valueType").toInt(), 1);
    EXPECT_DOUBLE_EQ(scalar(diffuse).at(0).toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(scalar(diffuse).at(1).toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(scalar(diffuse).at(2).toDouble(), 0.2);
    EXPECT_EQ(body.value("opacity").toObject().value("valueType").toInt(), 0);
    for (const QString& channel : zalHostPhysicsMaterial::channelNames())
        EXPECT_TRUE(body.contains(channel)) << channel.toStdString();
    EXPECT_EQ(description->animationType(), 0);
}

TEST_F(zalHostMaterials, texturesAndOpacityBecomeChannels)
{
    const OdDbObjectId id = addMaterial("Glass", [](OdDbMaterial* m) {
        OdGiMaterialMap diffuse;
        diffuse.setSourceFileName(OdString("glass.png"));
        diffuse.setScale(2.0, 3.0);
        m->setDiffuse(OdGiMaterialColor(), diffuse);
        m->setOpacity(0.4, OdGiMaterialMap());
        OdGiMaterialMap bump;
        bump.setSourceFileName(OdString("glass_n.png"));
        m->setBump(bump);
    });
    auto description = materials->materialDescription(id);
    ASSERT_NE(description, nullptr);
    const QJsonObject body = description->body();
    const QJsonObject diffuse = body.value("diffuseColor").toObject();
    EXPECT_EQ(diffuse.value("valueType").toInt(), 2);
    EXPECT_EQ(diffuse.value("stringValue").toString(), "glass.png");
    EXPECT_EQ(diffuse.value("mapScale").toArray(), QJsonArray({2.0, 3.0}));
    const QJsonObject opacity = body.value("opacity").toObject();
    EXPECT_EQ(opacity.value("valueType").toInt(), 1);
    EXPECT_DOUBLE_EQ(scalar(opacity).at(0).toDouble(), 0.4);
    EXPECT_EQ(body.value("shaderType").toInt(), 2);
    EXPECT_EQ(body.value("normal").toObject().value("stringValue").toString(), "glass_n.png");
}

TEST_F(zalHostMaterials, textureResolverFindsLibraryTextures)
{
    QDir().mkpath(host.filePath("materials/Textures"));
    QFile texture(host.filePath("materials/Textures/brick.png"));
    ASSERT_TRUE(texture.open(QIODevice::WriteOnly));
    texture.close();
    auto description = materials->materialDescription(db->globalMaterialId());
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(description->resolveTexture("brick.png"), host.filePath("materials/Textures/brick.png"));
    EXPECT_EQ(description->resolveTexture("missing.png"), "missing.png");
    EXPECT_EQ(description->resolveTexture(""), "");
}

TEST_F(zalHostMaterials, importedDescriptionWins)
{
    const OdDbObjectId id = db->globalMaterialId();
    auto imported = host.app()->physicsMaterials()->newDescription();
    imported->setBaseMaterial("Water");
    imported->setShaderType(3, "Pond");
    imported->setAnimation(2, 1.5, 0.25);
    host.app()->physicsMaterials()->setDescription(id, imported);
    auto description = materials->materialDescription(id);
    EXPECT_EQ(description->baseMaterial(), "Water");
    EXPECT_EQ(description->body().value("shaderTags").toString(), "Pond");
    EXPECT_EQ(description->animationType(), 2);
    host.app()->physicsMaterials()->setDescription(id, nullptr);
    EXPECT_EQ(materials->materialDescription(id)->baseMaterial(), "Global");
}

// A headless run reads its drawing into a library of its own before the host's exists, hands the
// descriptions over, and may then drop that first database (a drawing read twice).
TEST_F(zalHostMaterials, adoptedDescriptionsGoAwayWithTheirDrawing)
{
    zalHostPhysicsMaterials early(host.filePath("materials"));
    OdDbDatabasePtr first = OdDbDatabase::createObject();
    auto imported = early.newDescription();
    imported->setBaseMaterial("Water");
    early.setDescription(first->globalMaterialId(), imported);
    zalHostPhysicsMaterials* library = host.app()->physicsMaterials();
    const int before = library->descriptionCount();
    library->adoptDescriptions(early);
    EXPECT_EQ(early.descriptionCount(), 0);
    ASSERT_EQ(library->descriptionCount(), before + 1);
    EXPECT_EQ(materials->materialDescription(first->globalMaterialId())->baseMaterial(), "Water");
    first.release();
    EXPECT_EQ(library->descriptionCount(), before) << "an id of the freed drawing is still held";
}

TEST_F(zalHostMaterials, nonMaterialIdsHaveNoDescription)
{
    EXPECT_EQ(materials->materialDescription(OdDbObjectId()), nullptr);
    EXPECT_EQ(materials->materialDescription(db->getLayerZeroId()), nullptr);
}

TEST(zalHostTerrain, lockerSuspendsAndResumesOnce)
{
    zalTestHost host(zalHostOptions::TerrainModeller);
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    zalHostTerrainModeller* terrain = host.app()->terrainModeller();
    {
        borderReactorLocker outer(db);
        EXPECT_TRUE(terrain->isBorderReactorSuspended(db.get()));
        {
            borderReactorLocker inner(db);
            EXPECT_EQ(terrain->suspendCount(db.get()), 2);
        }
        EXPECT_EQ(terrain->suspendCount(db.get()), 1);
    }
    EXPECT_FALSE(terrain->isBorderReactorSuspended(db.get()));
}

TEST(zalHostTerrain, lockerWithoutServiceDoesNothing)
{
    zalTestHost host(0);
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    borderReactorLocker locker(db);
    EXPECT_EQ(locker.database().get(), db.get());
}

TEST(zalHostTerrain, flatTerrainGivesItsHeight)
{
    zalTestHost host(zalHostOptions::TerrainModeller);
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    IzalApplication* app = zalApp();
    double z = -1.0;
    app->beginElevationQuery();
    EXPECT_FALSE(app->elevationAt(db.get(), OdGePoint3d(1, 2, 3), z));
    EXPECT_EQ(z, -1.0);
    host.app()->terrainModeller()->setFlatTerrain(nullptr, 2.5);
    host.app()->terrainModeller()->setFlatTerrain(other.get(), -4.0);
    EXPECT_TRUE(app->elevationAt(db.get(), OdGePoint3d(1, 2, 3), z));
    EXPECT_EQ(z, 2.5);
    EXPECT_TRUE(app->elevationAt(other.get(), OdGePoint3d(1, 2, 3), z));
    EXPECT_EQ(z, -4.0);
    EXPECT_FALSE(app->elevationAt(nullptr, OdGePoint3d(1, 2, 3), z));
    EXPECT_EQ(host.app()->elevationQueryDepth(), 1);
    app->endElevationQuery();
    EXPECT_EQ(host.app()->elevationQueryDepth(), 0);
}

TEST(zalHostTerrain, noTerrainServiceNoElevation)
{
    zalTestHost host(0);
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    double z = 7.0;
    EXPECT_FALSE(zalApp()->elevationAt(db.get(), OdGePoint3d(), z));
    EXPECT_EQ(z, 7.0);
}
