// Asset spawning through a session of the reference host: spawners as batches of XBlock instances,
// XBlocks as placed assets, pak assets placed when the channel reports their pak mounted.
#include "module/zalSessionRegistry.h"
#include "tests/common/zalModuleTestHost.h"

#include "translate/zalUnrealAssetSpawning.h"
#include "translate/zalUnrealRenderView.h"

#include "zalDbAssetsSpawner.h"
#include "zalDbXBlock.h"

#include "gs/DbFace.h"
#include "odkit.h"

#include <QDir>
#include <QFile>

#include <thread>

namespace {

// The 16 floats of a viewer transform: uniform scale s, translation already in the viewer frame.
QVector<double> viewerMatrix(double s, double x, double y, double z)
{
    return {s, 0, 0, x, 0, s, 0, y, 0, 0, s, z, 0, 0, 0, 1};
}

} // namespace

class AssetSpawning : public zalModuleTestHost
{
protected:
    OdDbObjectId addBlock(OdDbDatabase* db, const wchar_t* name)
    {
        OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
        OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
        block->setName(name);
        return blocks->add(block);
    }

    OdDbObjectId append(OdDbDatabase* db, OdDbEntity* entity, const OdDbObjectId& blockId = OdDbObjectId())
    {
        OdDbBlockTableRecordPtr block =
            (blockId.isNull() ? db->getModelSpaceId() : blockId).safeOpenObject(OdDb::kForWrite);
        entity->setDatabaseDefaults(db);
        return block->appendOdDbEntity(entity);
    }

    // An XBlock in its own block record (or in model space) whose viewer representation is `path`,
    // shown by a reference at `position`.
    OdDbObjectId addXBlock(OdDbDatabase* db, const wchar_t* blockName, const wchar_t* path,
                           const OdGePoint3d& position, double scale = 0.0)
    {
        const OdDbObjectId blockId = blockName ? addBlock(db, blockName) : OdDbObjectId();
        zalDbXBlockPtr xblock = zalDbXBlock::createObject();
        xblock->setSubObjectPath(4, OdString(path));
        xblock->setLocalArchivePath(OdString(dir.filePath("archive").toStdWString().c_str()));
        if (scale > 0.0) xblock->setScaleForRepr(4, scale);
        const OdDbObjectId xblockId = append(db, xblock, blockId);
        OdDbBlockReferencePtr reference = OdDbBlockReference::createObject();
        reference->setDatabaseDefaults(db);
        // What the reference shows is of no interest here: an empty block of its own.
        reference->setBlockTableRecord(addBlock(db, (L"Shape" + std::to_wstring(++m_shapes)).c_str()));
        reference->setPosition(position);
        xblock->setInstanceForRepresentation(4, db->addOdDbObject(reference, xblockId));
        return xblockId;
    }

    int m_shapes = 0;

    static AssetSpawnInfo entry(const OdDbObjectId& xblock, const QVector<OdGeMatrix3d>& placements)
    {
        AssetSpawnInfo e(xblock, 1.0, 1.0, 0.0, 1.0);
        e.instanceTransforms = placements;
        return e;
    }

    static QString ownerName(const OdDbObjectId& xblock)
    {
        zalDbXBlockPtr x = xblock.safeOpenObject();
        return name(x->ownerId());
    }
};

TEST_F(AssetSpawning, batchNamesReplaceStarsAndBracketsInTheKeyOnly)
{
    EXPECT_EQ(zalUnrealAssetSpawning::batchName("S_1", "*Model[2]"), "S_1[SE:_Model|2|]");
    EXPECT_EQ(zalUnrealAssetSpawning::batchName("S*[1]", "K"), "S*[1][SE:K]");
    EXPECT_EQ(zalUnrealAssetSpawning::batchName("S_1", ""), "S_1");
    EXPECT_EQ(zalUnrealAssetSpawning::batchName("", "K"), "");
}

TEST_F(AssetSpawning, spawnerWithTwoXBlocksIsOneInstanceAndOneBatchPerEntry)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId oak = addXBlock(db, L"XB_Oak", L"/Game/Trees/Oak.Oak", OdGePoint3d(1, 2, 3), 2.5);
    const OdDbObjectId rock = addXBlock(db, L"XB_Rock", L"/Game/Rocks/Rock.Rock", OdGePoint3d(0, 0, 0));
    zalDbAssetsSpawnerPtr spawner = zalDbAssetsSpawner::createObject();
    const OdGeMatrix3d scaled = OdGeMatrix3d::scaling(2.0) * OdGeMatrix3d::translation(OdGeVector3d(1, 0, 0));
    spawner->setSpawnObjectsInfo({
        entry(oak, {OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3)), scaled}),
        entry(rock, {OdGeMatrix3d::translation(OdGeVector3d(-4, 0, 0.5))}),
        entry(OdDbObjectId(), {OdGeMatrix3d::translation(OdGeVector3d(9, 9, 9))}),
        entry(rock, {}),
        entry(oak, {OdGeMatrix3d::translation(OdGeVector3d(0, 0, 7))}),
    });
    const OdDbObjectId spawnerId = append(db, spawner);
    spawner = nullptr;

    const Opened o = open(db);
    bringUp(o);
    const QString s = name(spawnerId);
    const QString ms = name(db->getModelSpaceId());
    const QString oakKey = ownerName(oak);
    const QString rockKey = ownerName(rock);
    const QStringList lines = o.recorder->lines();

    const QStringList spawnerInstances = linesNamed(o.recorder, "addInstance", s);
    ASSERT_EQ(spawnerInstances.size(), 1);
    EXPECT_EQ(field(spawnerInstances.first(), "parent"), ms);
    EXPECT_EQ(field(spawnerInstances.first(), "component"), "");
    EXPECT_EQ(field(spawnerInstances.first(), "asset"), s);
    EXPECT_EQ(floats(spawnerInstances.first(), "transform"), viewerMatrix(1, 0, 0, 0));
    EXPECT_EQ(field(spawnerInstances.first(), "material"), "");

    // Each XBlock reaches the viewer once, before any batch: its definition, then its asset.
    EXPECT_EQ(linesNamed(o.recorder, "addComponentDef", oakKey).size(), 1);
    const QStringList oakAsset = linesNamed(o.recorder, "addInstance", name(oak));
    ASSERT_EQ(oakAsset.size(), 1);
    EXPECT_EQ(field(oakAsset.first(), "parent"), oakKey);
    EXPECT_EQ(field(oakAsset.first(), "asset"), "/Game/Trees/Oak.Oak");
    // Scaled by 2.5 x 0.01 about the origin after the reference's own placement, in the viewer frame.
    EXPECT_EQ(floats(oakAsset.first(), "transform"), viewerMatrix(0.025, -2.5, 5, 7.5));
    ASSERT_EQ(linesNamed(o.recorder, "addInstance", name(rock)).size(), 1);

    const QStringList batches = o.recorder->lines("spawnInstances");
    ASSERT_EQ(batches.size(), 3) << "one batch per entry with an XBlock and placements";
    const QString oakBatch = s + "[SE:" + oakKey + "]";
    const QString rockBatch = s + "[SE:" + rockKey + "]";
    EXPECT_EQ(field(batches[0], "name"), oakBatch);
    EXPECT_EQ(field(batches[1], "name"), rockBatch);
    EXPECT_EQ(batches[2], batches[0]) << "an XBlock shared by entries goes with its whole group each time";
    EXPECT_EQ(field(batches[0], "parent"), s);
    EXPECT_EQ(field(batches[0], "component"), oakKey);
    EXPECT_EQ(field(batches[0], "asset"), "");
    EXPECT_EQ(field(batches[0], "material"), "");
    EXPECT_EQ(field(batches[0], "count"), "3");
    EXPECT_EQ(floats(batches[0], "transforms"),
              viewerMatrix(1, -100, 200, 300) + viewerMatrix(2, -200, 0, 0) + viewerMatrix(1, 0, 0, 700));
    EXPECT_EQ(field(batches[1], "count"), "1");
    EXPECT_EQ(floats(batches[1], "transforms"), viewerMatrix(1, 400, 0, 50));
    for (const QString& xblockLine : oakAsset + linesNamed(o.recorder, "addInstance", name(rock)))
        EXPECT_LT(lines.indexOf(xblockLine), lines.indexOf(batches[0]));
    EXPECT_GT(lines.indexOf(batches[0]), lines.indexOf(spawnerInstances.first()));

    EXPECT_EQ(o.session->registry().subEntities(s), QStringList({oakBatch, rockBatch}));

    // Drawn again, the spawner held by the viewer is only reconnected, its batches first.
    o.recorder->clear();
    o.session->view()->drawObject(spawnerId);
    EXPECT_TRUE(o.recorder->lines("addInstance").isEmpty());
    EXPECT_TRUE(o.recorder->lines("spawnInstances").isEmpty());
    const QStringList connects = o.recorder->lines("assureEntityConnected");
    ASSERT_EQ(connects.size(), 3);
    EXPECT_EQ(field(connects[0], "name"), oakBatch);
    EXPECT_EQ(field(connects[0], "parent"), s);
    EXPECT_EQ(field(connects[1], "name"), rockBatch);
    EXPECT_EQ(field(connects[2], "name"), s);
    EXPECT_EQ(field(connects[2], "parent"), ms);
}

TEST_F(AssetSpawning, drawingFileRepresentationsAreNotPlacedAsAssets)
{
    ASSERT_TRUE(QDir().mkpath(dir.filePath("archive")));
    QFile existing(dir.filePath("archive/bench.model"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId upper = addXBlock(db, nullptr, L"trees/tree.DWG", OdGePoint3d(0, 0, 0));
    const OdDbObjectId file = addXBlock(db, nullptr, L"bench.model", OdGePoint3d(0, 0, 0));
    const OdDbObjectId asset = addXBlock(db, nullptr, L"/Game/Props/Bench", OdGePoint3d(0, 0, 0));
    const Opened o = open(db);
    bringUp(o);
    EXPECT_TRUE(linesNamed(o.recorder, "addInstance", name(upper)).isEmpty());
    EXPECT_TRUE(linesNamed(o.recorder, "addInstance", name(file)).isEmpty());
    const QStringList placed = linesNamed(o.recorder, "addInstance", name(asset));
    ASSERT_EQ(placed.size(), 1);
    EXPECT_EQ(field(placed.first(), "parent"), name(db->getModelSpaceId()));
    EXPECT_EQ(floats(placed.first(), "transform"), viewerMatrix(0.01, 0, 0, 0));
}

TEST_F(AssetSpawning, pakAssetsArePlacedWhenThePakIsMountedLastRecordedFirst)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId pine = addXBlock(db, nullptr, L"Pak:Trees.pak:/Game/Trees/Pine", OdGePoint3d(4, 5, 6));
    const OdDbObjectId fir = addXBlock(db, nullptr, L"Pak:Trees.pak:/Game/Trees/Fir", OdGePoint3d(0, 0, 1));
    const Opened o = open(db);
    bringUp(o);

    const QString pak = module->assetsLibraryPath() + "/Trees.pak";
    // Until its pak is mounted an XBlock is not in the viewer, so every redraw records it again and
    // asks for the pak again.
    const QStringList mounts = o.recorder->lines("mountExternalPak");
    ASSERT_GE(mounts.size(), 2);
    for (const QString& mount : mounts)
        EXPECT_EQ(field(mount, "path"), pak);
    EXPECT_TRUE(linesNamed(o.recorder, "addInstance", name(pine)).isEmpty())
        << "nothing before the pak mounts";
    EXPECT_EQ(zalUnrealAssetSpawning::numPendingPlacements(), mounts.size());
    // The pine drawn last: its latest placement is the one used.
    o.session->view()->drawObject(pine);
    EXPECT_EQ(zalUnrealAssetSpawning::numPendingPlacements(), mounts.size() + 1);

    o.recorder->clear();
    o.recorder->simulatePakMounted(pak.toStdWString(), true);
    ASSERT_TRUE(waitFor([&] { return !o.recorder->lines("addInstance").isEmpty(); }));
    const QStringList placed = o.recorder->lines("addInstance");
    ASSERT_EQ(placed.size(), 2) << placed.join('\n').toStdString();
    EXPECT_EQ(field(placed[0], "name"), name(pine));
    EXPECT_EQ(field(placed[1], "name"), name(fir));
    EXPECT_EQ(field(placed[0], "parent"), name(db->getModelSpaceId()));
    EXPECT_EQ(field(placed[0], "component"), "");
    EXPECT_EQ(field(placed[0], "asset"), "Trees_/Game/Trees/Pine");
    EXPECT_EQ(field(placed[0], "material"), "");
    EXPECT_EQ(floats(placed[0], "transform"), viewerMatrix(0.01, -4, 5, 6));
    EXPECT_EQ(zalUnrealAssetSpawning::numPendingPlacements(), 0);

    // Another pak's notification, or the same one again, places nothing.
    o.recorder->simulatePakMounted((module->assetsLibraryPath() + "/Rocks.pak").toStdWString(), true);
    o.recorder->simulatePakMounted(pak.toStdWString(), false);
    waitFor([] { return false; }, 200);
    EXPECT_EQ(o.recorder->lines("addInstance").size(), 2);
}

TEST_F(AssetSpawning, placementsOfAClosedSessionAreDropped)
{
    OdDbDatabasePtr db = newDrawing();
    addXBlock(db, nullptr, L"Pak:Gone.pak:/Game/Gone", OdGePoint3d(0, 0, 0));
    const Opened o = open(db);
    bringUp(o);
    ASSERT_GE(zalUnrealAssetSpawning::numPendingPlacements(), 1);
    const std::wstring pak = (module->assetsLibraryPath() + "/Gone.pak").toStdWString();
    host->viewSystem()->closeView(o.view);
    ASSERT_TRUE(waitFor([&] { return zalSessionRegistry::instance().sessionFor(db) == nullptr; }));
    // The channel's thread reports the pak after the session has gone.
    std::thread channel([&] { zalUnrealAssetSpawning::onPakMounted(pak.c_str(), true); });
    channel.join();
    waitFor([] { return false; }, 200);
    EXPECT_EQ(zalUnrealAssetSpawning::numPendingPlacements(), 0);
}

TEST_F(AssetSpawning, blockReferenceIsAnInstanceOfItsDefinitionWithItsMaterial)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId chair = addBlock(db, L"Chair");
    OdDbFacePtr seat = OdDbFace::createObject();
    seat->setVertexAt(0, OdGePoint3d(0, 0, 0));
    seat->setVertexAt(1, OdGePoint3d(1, 0, 0));
    seat->setVertexAt(2, OdGePoint3d(1, 1, 0));
    seat->setVertexAt(3, OdGePoint3d(0, 1, 0));
    append(db, seat, chair);
    OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
    OdDbMaterialPtr oak = OdDbMaterial::createObject();
    oak->setName(L"Oak");
    const OdDbObjectId oakId = materials->setAt(L"Oak", oak);
    OdDbBlockReferencePtr reference = OdDbBlockReference::createObject();
    reference->setBlockTableRecord(chair);
    reference->setPosition(OdGePoint3d(2, 3, 4));
    const OdDbObjectId referenceId = append(db, reference);
    reference->setMaterial(oakId);
    reference = nullptr;

    const Opened o = open(db);
    bringUp(o);
    const QStringList sent = linesNamed(o.recorder, "addInstance", name(referenceId));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(field(sent.first(), "parent"), name(db->getModelSpaceId()));
    EXPECT_EQ(field(sent.first(), "component"), name(chair));
    EXPECT_EQ(field(sent.first(), "asset"), name(referenceId));
    EXPECT_EQ(field(sent.first(), "material"), name(oakId));
    EXPECT_EQ(floats(sent.first(), "transform"), viewerMatrix(1, -200, 300, 400));
    const QStringList lines = o.recorder->lines();
    ASSERT_EQ(linesNamed(o.recorder, "addMaterial", name(oakId)).size(), 1);
    EXPECT_LT(lines.indexOf(linesNamed(o.recorder, "addMaterial", name(oakId)).first()),
              lines.indexOf(sent.first()));
    EXPECT_LT(lines.indexOf(linesNamed(o.recorder, "addComponentDef", name(chair)).value(0)),
              lines.indexOf(sent.first()));
}
