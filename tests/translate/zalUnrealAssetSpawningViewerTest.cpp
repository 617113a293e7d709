// Materials, spawners and pak assets end to end: the real viewer process over the real channel, and
// the viewer's own account of what it holds (its scene dump).
#include "tests/common/zalModuleTestHost.h"

#include "translate/zalUnrealAssetSpawning.h"

#include "zalDbAssetsSpawner.h"
#include "zalDbXBlock.h"
#include "zalHostPhysicsMaterial.h"

#include "odkit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

class AssetsInViewer : public zalModuleTestHost
{
protected:
    void SetUp() override
    {
        useRecordingTransport = false;
        zalModuleTestHost::SetUp();
    }

    void TearDown() override
    {
        if (session && session->sender()) {
            session->sender()->requestRenderExit();
            waitFor([&] { return !session->sender() || !session->sender()->isProcessRunning(); }, 5000);
        }
        zalModuleTestHost::TearDown();
    }

    static QJsonObject named(const QJsonObject& scene, const char* kind, const QString& name)
    {
        for (const QJsonValue& v : scene.value(kind).toArray())
            if (v.toObject().value("name").toString() == name) return v.toObject();
        return QJsonObject();
    }

    OdDbObjectId addXBlock(OdDbDatabase* db, const wchar_t* blockName, const wchar_t* path,
                           const OdGePoint3d& position)
    {
        OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
        OdDbObjectId blockId = db->getModelSpaceId();
        if (blockName) {
            OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
            block->setName(blockName);
            blockId = blocks->add(block);
        }
        OdDbBlockTableRecordPtr shape = OdDbBlockTableRecord::createObject();
        shape->setName((L"Shape" + std::to_wstring(++shapes)).c_str());
        const OdDbObjectId shapeId = blocks->add(shape);
        zalDbXBlockPtr xblock = zalDbXBlock::createObject();
        xblock->setDatabaseDefaults(db);
        xblock->setSubObjectPath(4, OdString(path));
        OdDbBlockTableRecordPtr owner = blockId.safeOpenObject(OdDb::kForWrite);
        const OdDbObjectId xblockId = owner->appendOdDbEntity(xblock);
        OdDbBlockReferencePtr reference = OdDbBlockReference::createObject();
        reference->setDatabaseDefaults(db);
        reference->setBlockTableRecord(shapeId);
        reference->setPosition(position);
        xblock->setInstanceForRepresentation(4, db->addOdDbObject(reference, xblockId));
        return xblockId;
    }

    zalDbUnrealRenderSession* session = nullptr;
    int shapes = 0;
};

TEST_F(AssetsInViewer, viewerHoldsMaterialsBatchesAndPakAssets)
{
    OdDbDatabasePtr db = newDrawing();
    OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
    OdDbMaterialPtr brick = OdDbMaterial::createObject();
    brick->setName(L"Brick");
    const OdDbObjectId brickId = materials->setAt(L"Brick", brick);
    brick = nullptr;
    materials = nullptr;
    auto description = host->physicsMaterials()->newDescription();
    description->setBaseMaterial("Brick");
    description->setChannel("diffuseColor", zalHostPhysicsMaterial::textureChannel("C:/tex/brick.png"));
    host->physicsMaterials()->setDescription(brickId, description);

    const OdDbObjectId oak = addXBlock(db, L"XB_Oak", L"/Game/Trees/Oak.Oak", OdGePoint3d(0, 0, 0));
    const OdDbObjectId rock = addXBlock(db, L"XB_Rock", L"/Game/Rocks/Rock.Rock", OdGePoint3d(0, 0, 0));
    zalDbAssetsSpawnerPtr spawner = zalDbAssetsSpawner::createObject();
    AssetSpawnInfo oaks(oak, 1.0, 1.0, 0.0, 1.0);
    oaks.instanceTransforms = {OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3)),
                               OdGeMatrix3d::translation(OdGeVector3d(4, 5, 6))};
    AssetSpawnInfo rocks(rock, 1.0, 1.0, 0.0, 1.0);
    rocks.instanceTransforms = {OdGeMatrix3d::translation(OdGeVector3d(-1, 0, 0))};
    spawner->setSpawnObjectsInfo({oaks, rocks});
    spawner->setDatabaseDefaults(db);
    OdDbBlockTableRecordPtr modelSpace = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    const OdDbObjectId spawnerId = modelSpace->appendOdDbEntity(spawner);
    spawner = nullptr;
    modelSpace = nullptr;

    // The pak exists in the asset library, so the viewer mounts it.
    const QString library = module->assetsLibraryPath();
    QFile pak(library + "/Trees.pak");
    ASSERT_TRUE(pak.open(QIODevice::WriteOnly));
    pak.write("pak");
    pak.close();
    const OdDbObjectId pine = addXBlock(db, nullptr, L"Pak:Trees.pak:/Game/Trees/Pine", OdGePoint3d(4, 5, 6));

    ASSERT_NO_FATAL_FAILURE(openInRealViewer(db.get(), session));
    // The pak-mounted answer comes back on the channel's thread and places the pine on the GUI thread.
    ASSERT_TRUE(
        waitFor([&] { return session->sender()->isEntityValid(name(pine).toUtf8().constData(), ""); }, 20000))
        << "the pak asset was not placed";

    const QJsonObject scene = viewerScene(session);
    const QJsonObject material = named(scene, "materials", name(brickId));
    EXPECT_EQ(material.value("baseMaterial").toString(), "Brick [ConfigurableMaterialMatte]");
    EXPECT_EQ(material.value("texture").toString(), "C:/tex/brick.png");
    EXPECT_EQ(material.value("colour").toDouble(), double(128 | 128 << 8 | 128 << 16));
    EXPECT_TRUE(material.value("parameters")
                    .toString()
                    .startsWith("ShaderType:0,DiffuseMap:C///tex/brick.png:1:0;0;1;1,AlphaMap:1;1;1:1,"));
    EXPECT_FALSE(named(scene, "materials", name(db->globalMaterialId())).isEmpty());
    EXPECT_TRUE(named(scene, "materials", name(db->byLayerMaterialId())).isEmpty());

    const QString s = name(spawnerId);
    zalDbXBlockPtr oakBlock = oak.safeOpenObject();
    zalDbXBlockPtr rockBlock = rock.safeOpenObject();
    const QJsonObject oakBatch = named(scene, "spawns", s + "[SE:" + name(oakBlock->ownerId()) + "]");
    const QJsonObject rockBatch = named(scene, "spawns", s + "[SE:" + name(rockBlock->ownerId()) + "]");
    EXPECT_EQ(oakBatch.value("parent").toString(), s);
    EXPECT_EQ(oakBatch.value("component").toString(), name(oakBlock->ownerId()));
    EXPECT_EQ(oakBatch.value("count").toInt(), 2);
    EXPECT_EQ(rockBatch.value("count").toInt(), 1);
    const QJsonArray second = oakBatch.value("transforms").toArray().at(1).toArray();
    ASSERT_EQ(second.size(), 16);
    EXPECT_DOUBLE_EQ(second.at(3).toDouble(), -400.0);
    EXPECT_DOUBLE_EQ(second.at(7).toDouble(), 500.0);
    EXPECT_DOUBLE_EQ(second.at(11).toDouble(), 600.0);
    EXPECT_EQ(named(scene, "instances", name(oak)).value("asset").toString(), "/Game/Trees/Oak.Oak");

    bool mounted = false;
    for (const QJsonValue& v : scene.value("paks").toArray())
        mounted |= v.toObject().value("path").toString() == library + "/Trees.pak" &&
                   v.toObject().value("mounted").toBool();
    EXPECT_TRUE(mounted);
    const QJsonObject placed = named(scene, "instances", name(pine));
    EXPECT_EQ(placed.value("asset").toString(), "Trees_/Game/Trees/Pine");
    EXPECT_EQ(placed.value("parent").toString(), name(db->getModelSpaceId()));
    EXPECT_TRUE(waitFor([] { return zalUnrealAssetSpawning::numPendingPlacements() == 0; }));
}
