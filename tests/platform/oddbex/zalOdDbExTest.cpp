#include "zalDbAssetsSpawner.h"
#include "zalDbStarImagePolygon.h"
#include "zalDbXBlock.h"
#include "zalIElevation.h"
#include "zalIUEAssetPlaceHolder.h"

#include "odkit.h"

#include <gtest/gtest.h>

namespace {

class zalOdDbEx : public ::testing::Test
{
protected:
    OdDbObjectId appendToModelSpace(OdDbEntity* entity)
    {
        OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        entity->setDatabaseDefaults(db.get());
        return ms->appendOdDbEntity(entity);
    }

    OdDbDatabasePtr db = OdDbDatabase::createObject();
};

// An entity that stands for a viewer asset, as the water fountain does.
class PlaceholderEntity : public zalIUEAssetPlaceHolder, public OdDbEntity, public zalIElevation
{
public:
    QString getCommand() const override { return QStringLiteral("Run 1"); }
    QString getAssetPath() const override { return QStringLiteral("/Game/Asset"); }
    OdGeMatrix3d getAssetTransform() const override
    {
        return OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3));
    }
    unsigned int buildVersion() const override { return 7; }
    void updateElevation() override {}
};

} // namespace

TEST_F(zalOdDbEx, ModuleLoadsByNameAndItsClassesAreRegistered)
{
    OdRxModulePtr module = odrxDynamicLinker()->loadModule(L"zalOdDbEx");
    ASSERT_TRUE(module) << odrxDynamicLinker()->lastError().toUtf8();
    ASSERT_NE(zalDbXBlock::desc(), nullptr);
    EXPECT_EQ(zalDbXBlock::desc()->name(), OdString(L"zalDbXBlock"));
    EXPECT_TRUE(zalDbXBlock::desc()->isDerivedFrom(OdDbEntity::desc()));
    EXPECT_EQ(zalDbAssetsSpawner::desc()->name(), OdString(L"zalDbAssetsSpawner"));
    EXPECT_EQ(zalDbStarImagePolygon::desc()->name(), OdString(L"zalDbStarImagePolygon"));
    EXPECT_EQ(odrxFindClass(L"zalDbXBlock"), zalDbXBlock::desc());
    zalDbXBlockPtr made = zalDbXBlock::desc()->create();
    EXPECT_TRUE(made);
}

TEST_F(zalOdDbEx, XBlockKeepsItsRepresentationsAndTheirInstances)
{
    zalDbXBlockPtr xblock = zalDbXBlock::createObject();
    const OdDbObjectId xblockId = appendToModelSpace(xblock);
    xblock->setSubObjectPath(4, L"Pak:Trees.pak:/Game/Trees/Oak");
    xblock->setSubObjectPath(1, L"oak.dwg");
    xblock->setLocalArchivePath(L"/tmp/archive");
    xblock->setScaleForRepr(4, 2.5);
    EXPECT_EQ(xblock->subObjectPath(4), OdString(L"Pak:Trees.pak:/Game/Trees/Oak"));
    EXPECT_EQ(xblock->subObjectPath(1), OdString(L"oak.dwg"));
    EXPECT_TRUE(xblock->subObjectPath(2).isEmpty());
    EXPECT_EQ(xblock->localArchivePath(), OdString(L"/tmp/archive"));
    EXPECT_DOUBLE_EQ(xblock->getScaleForRepr(4, true), 2.5);
    EXPECT_DOUBLE_EQ(xblock->getScaleForRepr(3, true), 1.0);
    EXPECT_DOUBLE_EQ(xblock->getScaleForRepr(3, false), 0.0);
    EXPECT_FALSE(xblock->getInstanceForRepresentation(4));

    OdDbBlockReferencePtr reference = OdDbBlockReference::createObject();
    reference->setBlockTableRecord(db->getModelSpaceId());
    reference->setPosition(OdGePoint3d(4, 5, 6));
    const OdDbObjectId referenceId = db->addOdDbObject(reference, xblockId);
    reference = nullptr;
    xblock->setInstanceForRepresentation(4, referenceId);
    xblock = nullptr;

    zalDbXBlockPtr read = xblockId.safeOpenObject();
    OdDbBlockReferencePtr instance = read->getInstanceForRepresentation(4);
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->objectId(), referenceId);
    EXPECT_EQ(instance->ownerId(), xblockId) << "the XBlock owns its representation instances";
    EXPECT_EQ(instance->position(), OdGePoint3d(4, 5, 6));
}

TEST_F(zalOdDbEx, SpawnerHoldsEntriesAndMovesTheirInstances)
{
    AssetSpawnInfo entry(OdDbObjectId(), 0.5, 0.8, 15.0, 1.2, true, false);
    EXPECT_DOUBLE_EQ(entry.density, 0.5);
    EXPECT_DOUBLE_EQ(entry.minScale, 0.8);
    EXPECT_DOUBLE_EQ(entry.maxScale, 1.2) << "the constructor takes the fourth field third";
    EXPECT_DOUBLE_EQ(entry.rotationJitter, 15.0);
    EXPECT_TRUE(entry.alignToSurface);
    EXPECT_TRUE(entry.instanceTransforms.isEmpty());
    entry.instanceTransforms.append(OdGeMatrix3d::translation(OdGeVector3d(1, 0, 0)));
    entry.instanceTransforms.append(OdGeMatrix3d::translation(OdGeVector3d(3, 0, 0)));
    AssetSpawnInfo second = entry;
    second.instanceTransforms.append(OdGeMatrix3d::translation(OdGeVector3d(0, 9, 0)));
    EXPECT_EQ(entry.instanceTransforms.size(), 2) << "copies are independent";

    zalDbAssetsSpawnerPtr spawner = zalDbAssetsSpawner::createObject();
    spawner->setSpawnObjectsInfo({entry, second});
    appendToModelSpace(spawner);
    EXPECT_EQ(spawner->spawnObjectsInfoForRead().size(), 2);
    EXPECT_EQ(spawner->numInstances(), 5);
    OdGeExtents3d extents;
    ASSERT_EQ(spawner->getGeomExtents(extents), eOk);
    EXPECT_EQ(extents.maxPoint(), OdGePoint3d(3, 9, 0));
    ASSERT_EQ(spawner->transformBy(OdGeMatrix3d::translation(OdGeVector3d(0, 0, 10))), eOk);
    EXPECT_EQ(spawner->spawnObjectsInfoForRead()[0].instanceTransforms[1].translation(),
              OdGeVector3d(3, 0, 10));

    zalDbAssetsSpawnerPtr empty = zalDbAssetsSpawner::createObject();
    EXPECT_EQ(empty->getGeomExtents(extents), eInvalidExtents);
}

TEST_F(zalOdDbEx, StarImagePolygonKeepsItsOutlineAndImage)
{
    zalDbStarImagePolygonPtr polygon = zalDbStarImagePolygon::createObject();
    polygon->setVertices(OdArray<OdGePoint3d>{{0, 0, 0}, {4, 0, 0}, {4, 3, 0}});
    polygon->setImagePath(L"site.png");
    appendToModelSpace(polygon);
    EXPECT_EQ(polygon->vertices().size(), 3u);
    EXPECT_EQ(polygon->imagePath(), OdString(L"site.png"));
    OdGeExtents3d extents;
    ASSERT_EQ(polygon->getGeomExtents(extents), eOk);
    EXPECT_EQ(extents.maxPoint(), OdGePoint3d(4, 3, 0));
}

TEST_F(zalOdDbEx, AssetInterfacesAreFoundOnAnEntity)
{
    OdSmartPtr<PlaceholderEntity> entity(new PlaceholderEntity, kOdRxObjAttach);
    const OdDbEntity* asEntity = entity.get();
    const auto* placeholder = dynamic_cast<const zalIUEAssetPlaceHolder*>(asEntity);
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(placeholder->getCommand(), QStringLiteral("Run 1"));
    EXPECT_EQ(placeholder->getAssetPath(), QStringLiteral("/Game/Asset"));
    EXPECT_EQ(placeholder->getAssetTransform().translation(), OdGeVector3d(1, 2, 3));
    const auto* elevation = dynamic_cast<const zalIElevation*>(asEntity);
    ASSERT_NE(elevation, nullptr);
    EXPECT_EQ(elevation->buildVersion(), 7u);
    EXPECT_EQ(dynamic_cast<const zalIUEAssetPlaceHolder*>(
                  static_cast<const OdDbEntity*>(zalDbXBlock::createObject().get())),
              nullptr);
}
