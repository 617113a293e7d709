// The water fountain entity: its class, viewer command, asset placement, DWG record, symbol, transform
// and elevation through the reference host.
#include "fountain/zalDbWaterFountain.h"

#include "tests/common/zalRecordingDraw.h"

#include "tests/common/zalTestHost.h"
#include "zalHostApplication.h"
#include "zalHostTerrainModeller.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbDwgMemoryFiler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

void PrintTo(const OdString& text, std::ostream* out)
{
    *out << '"' << text.toUtf8() << '"';
}

namespace {

const double kPi = 3.14159265358979323846;

void expectVector(const OdGeVector3d& v, double x, double y, double z)
{
    EXPECT_NEAR(v.x, x, 1e-12);
    EXPECT_NEAR(v.y, y, 1e-12);
    EXPECT_NEAR(v.z, z, 1e-12);
}

void expectPoint(const OdGePoint3d& p, double x, double y, double z)
{
    EXPECT_NEAR(p.x, x, 1e-12);
    EXPECT_NEAR(p.y, y, 1e-12);
    EXPECT_NEAR(p.z, z, 1e-12);
}

class WaterFountain : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!zalDbWaterFountain::desc()) zalDbWaterFountain::rxInit();
        fountain = zalDbWaterFountain::createObject();
    }

    // A matrix whose entries all differ, to see the filing order.
    static OdGeMatrix3d distinctMatrix()
    {
        OdGeMatrix3d m;
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column)
                m.entry[row][column] = 1.0 + row + 10.0 * column;
        return m;
    }

    zalDbWaterFountainPtr fountain;
};

TEST_F(WaterFountain, classIsRegisteredAsTheDrawingExpectsIt)
{
    OdRxClass* cls = zalDbWaterFountain::desc();
    EXPECT_EQ(cls->name(), OdString(L"zalDbWaterFountain"));
    EXPECT_EQ(cls->parent(), OdDbEntity::desc());
    EXPECT_EQ(cls->dwgVersion(), 33);
    EXPECT_EQ(cls->maintenanceVersion(), 55);
    EXPECT_EQ(cls->proxyFlags(), 3071);
    EXPECT_EQ(cls->dxfName(), OdString(L"zalDbWaterFountain"));
    EXPECT_EQ(cls->appName(), OdString(L"zalDbWaterFountain"));
    try {
        zalDbWaterFountain::rxInit();
        FAIL() << "registered twice";
    } catch (const OdError& error) {
        EXPECT_EQ(error.code(), OdResult(314));
    }
    EXPECT_THROW(zalDbWaterFountain::cast(OdDbDatabase::createObject().get()), OdError_NotThatKindOfClass);
    // The interfaces the render view and the terrain look for.
    const OdDbEntity* entity = fountain.get();
    EXPECT_NE(dynamic_cast<const zalIUEAssetPlaceHolder*>(entity), nullptr);
    EXPECT_NE(dynamic_cast<const zalIElevation*>(entity), nullptr);
}

TEST_F(WaterFountain, aNewFountainHasItsDefaults)
{
    EXPECT_TRUE(fountain->transform().isIdentity());
    EXPECT_FALSE(fountain->active());
    EXPECT_EQ(fountain->lifetime(), 1.0);
    EXPECT_EQ(fountain->spawnRate(), 7500.0);
    EXPECT_EQ(fountain->spreadWidth(), 1.0);
    EXPECT_EQ(fountain->waterColor(), 16768220ul);
    EXPECT_EQ(fountain->spreadStartWidth(), 0.5);
    EXPECT_EQ(fountain->jetPower(), 1.5);
    EXPECT_EQ(fountain->buildVersion(), 0u);
    EXPECT_EQ(fountain->getAssetPath(), QString("ConfigurableWaterFountain"));
}

TEST_F(WaterFountain, theViewerCommandOfANewFountainAndAfterSwitchingItOn)
{
    const QString green = QString("%1").arg(220.0 / 255.0, 0, 'g', -1);
    EXPECT_EQ(green, QString("0.862745"));
    EXPECT_EQ(fountain->getCommand(),
              QString("SetFountainParams False (R=%1,G=%1,B=1,A=5.0) 1 7500 1 0.5 1.5").arg(green));
    fountain->setActive(true);
    EXPECT_EQ(fountain->getCommand(),
              QString("SetFountainParams True (R=%1,G=%1,B=1,A=5.0) 1 7500 1 0.5 1.5").arg(green));

    fountain->setWaterColor(0x00FF8000); // red 0, green 128, blue 255
    fountain->setLifetime(2.25);
    fountain->setSpawnRate(120);
    fountain->setSpreadWidth(3);
    fountain->setSpreadStartWidth(0.125);
    fountain->setJetPower(4);
    EXPECT_EQ(fountain->getCommand(),
              QString("SetFountainParams True (R=0,G=%1,B=1,A=5.0) 2.25 120 3 0.125 4")
                  .arg(QString("%1").arg(128.0 / 255.0, 0, 'g', -1)));
}

TEST_F(WaterFountain, setStoresValuesUncheckedAndTransformByMultipliesFromTheLeft)
{
    fountain->setLifetime(-3);
    fountain->setSpawnRate(1e9);
    EXPECT_EQ(fountain->lifetime(), -3.0);
    EXPECT_EQ(fountain->spawnRate(), 1e9);

    const OdGeMatrix3d placed =
        OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3)) * OdGeMatrix3d::rotation(0.5, OdGeVector3d::kZAxis);
    fountain->setTransform(placed);
    const OdGeMatrix3d move = OdGeMatrix3d::rotation(kPi / 2, OdGeVector3d::kZAxis);
    EXPECT_EQ(fountain->transformBy(move), eOk);
    EXPECT_TRUE(fountain->transform().isEqualTo(move * placed));
    expectPoint(fountain->transform().getCsOrigin(), -2, 1, 3);
}

TEST_F(WaterFountain, theAssetSitsOneUnitBackAlongTheFountainsOwnXAxis)
{
    const OdGeMatrix3d placed = OdGeMatrix3d::translation(OdGeVector3d(10, 20, 0)) *
                                OdGeMatrix3d::rotation(kPi / 2, OdGeVector3d::kZAxis) *
                                OdGeMatrix3d::scaling(3.0);
    fountain->setTransform(placed);
    const OdGeMatrix3d asset = fountain->getAssetTransform();
    // X points along world +Y: one unit back is (10, 19, 0); axes stay the placement's.
    expectPoint(asset.getCsOrigin(), 10, 19, 0);
    expectVector(asset.getCsXAxis(), 0, 3, 0);
    EXPECT_TRUE(asset.isEqualTo(OdGeMatrix3d::translation(OdGeVector3d(0, -1, 0)) * placed));
}

TEST_F(WaterFountain, theHostsGripSitsOnTheFountainNotOnItsAsset)
{
    fountain->setTransform(OdGeMatrix3d::translation(OdGeVector3d(10, 20, 0)) *
                           OdGeMatrix3d::rotation(kPi / 2, OdGeVector3d::kZAxis));
    // Asked through the interface the host sees, as its grip controller does.
    const zalIUEAssetPlaceHolder* placeholder = fountain.get();
    expectPoint(placeholder->gripPoint(), 10, 20, 0);
    expectPoint(placeholder->getAssetTransform().getCsOrigin(), 10, 19, 0);
}

TEST_F(WaterFountain, theDwgRecordHoldsExactly24ValuesInOrderWithoutBaseData)
{
    fountain->setActive(true);
    fountain->setLifetime(2);
    fountain->setSpawnRate(300);
    fountain->setSpreadWidth(4);
    fountain->setWaterColor(0x123456);
    fountain->setTransform(distinctMatrix());
    fountain->setJetPower(6);
    fountain->setSpreadStartWidth(0.75);

    OdDbDwgMemoryFilerPtr filer = OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject();
    fountain->dwgOutFields(filer.get());
    ASSERT_EQ(filer->numItems(), 24u);
    EXPECT_EQ(filer->itemTypeAt(0), OdDbDwgMemoryFiler::kInt16);
    EXPECT_EQ(filer->itemTypeAt(1), OdDbDwgMemoryFiler::kBool);
    EXPECT_EQ(filer->itemTypeAt(5), OdDbDwgMemoryFiler::kInt32);
    for (OdUInt32 i : {2u, 3u, 4u})
        EXPECT_EQ(filer->itemTypeAt(i), OdDbDwgMemoryFiler::kDouble);
    for (OdUInt32 i = 6; i < 24; ++i)
        EXPECT_EQ(filer->itemTypeAt(i), OdDbDwgMemoryFiler::kDouble) << i;

    filer->rewind();
    EXPECT_EQ(filer->rdInt16(), 2);
    EXPECT_TRUE(filer->rdBool());
    EXPECT_EQ(filer->rdDouble(), 2.0);
    EXPECT_EQ(filer->rdDouble(), 300.0);
    EXPECT_EQ(filer->rdDouble(), 4.0);
    EXPECT_EQ(filer->rdInt32(), 0x123456);
    // Column by column: (0,0), (1,0), (2,0), (3,0), (0,1) ...
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            EXPECT_EQ(filer->rdDouble(), 1.0 + row + 10.0 * column) << row << "," << column;
    EXPECT_EQ(filer->rdDouble(), 6.0);
    EXPECT_EQ(filer->rdDouble(), 0.75);
    EXPECT_TRUE(filer->atEnd());

    // Read back into a fresh fountain, all values come back.
    filer->rewind();
    zalDbWaterFountainPtr copy = zalDbWaterFountain::createObject();
    EXPECT_EQ(copy->dwgInFields(filer.get()), eOk);
    EXPECT_TRUE(filer->atEnd());
    EXPECT_TRUE(copy->active());
    EXPECT_EQ(copy->spreadWidth(), 4.0);
    EXPECT_EQ(copy->waterColor(), 0x123456ul);
    EXPECT_TRUE(copy->transform().isEqualTo(distinctMatrix(), OdGeTol(0.0, 0.0)));
    EXPECT_EQ(copy->jetPower(), 6.0);
    EXPECT_EQ(copy->spreadStartWidth(), 0.75);
    EXPECT_EQ(copy->getCommand(), fountain->getCommand());
}

TEST_F(WaterFountain, aVersion1RecordLoadsWithTheOldJetValues)
{
    OdDbDwgMemoryFilerPtr filer = OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject();
    filer->wrInt16(1);
    filer->wrBool(true);
    filer->wrDouble(3);
    filer->wrDouble(50);
    filer->wrDouble(2);
    filer->wrInt32(0xFF);
    const OdGeMatrix3d m = OdGeMatrix3d::translation(OdGeVector3d(5, 6, 7));
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            filer->wrDouble(m.entry[row][column]);
    // What follows belongs to someone else and must stay unread.
    filer->wrDouble(99);
    filer->rewind();

    fountain->setJetPower(8);
    fountain->setSpreadStartWidth(8);
    EXPECT_EQ(fountain->dwgInFields(filer.get()), eOk);
    EXPECT_EQ(filer->tell(), 22u);
    EXPECT_EQ(fountain->jetPower(), 1.0);
    EXPECT_EQ(fountain->spreadStartWidth(), 0.25);
    EXPECT_EQ(fountain->lifetime(), 3.0);
    EXPECT_EQ(fountain->spawnRate(), 50.0);
    EXPECT_EQ(fountain->waterColor(), 0xFFul);
    expectPoint(fountain->transform().getCsOrigin(), 5, 6, 7);
}

TEST_F(WaterFountain, aRecordOfAnUnknownVersionIsRefusedAndChangesNothing)
{
    for (OdInt16 version : {OdInt16(0), OdInt16(3), OdInt16(-1)}) {
        OdDbDwgMemoryFilerPtr filer = OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject();
        filer->wrInt16(version);
        filer->wrBool(false);
        for (int i = 0; i < 24; ++i)
            filer->wrDouble(42);
        filer->rewind();
        fountain->setLifetime(7);
        EXPECT_EQ(fountain->dwgInFields(filer.get()), eInvalidInput) << "version " << version;
        EXPECT_EQ(fountain->lifetime(), 7.0) << "version " << version;
    }
}

class FountainSymbol : public WaterFountain
{
protected:
    void draw()
    {
        worldDraw = std::make_unique<zalRecordingWorldDraw>();
        EXPECT_TRUE(fountain->worldDraw(worldDraw.get()));
    }
    std::unique_ptr<zalRecordingWorldDraw> worldDraw;
};

TEST_F(FountainSymbol, aGroundCircleInTheEntityColourAndFourJetsInTheWaterColour)
{
    fountain->setColorIndex(3);
    fountain->setTransform(OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3)));
    draw();

    ASSERT_FALSE(worldDraw->traits.colorCalls.empty());
    EXPECT_EQ(worldDraw->traits.colorCalls[0], 3);
    ASSERT_EQ(worldDraw->traits.trueColorCalls.size(), 2u);
    EXPECT_EQ(worldDraw->traits.trueColorCalls[0].color(), fountain->entityColor().color());

    const auto rings = worldDraw->ofKind("polyline");
    ASSERT_EQ(rings.size(), 1u);
    ASSERT_EQ(rings[0].points.size(), 16u);
    for (const OdGePoint3d& p : rings[0].points) {
        EXPECT_NEAR(p.distanceTo(OdGePoint3d(1, 2, 3)), 1.0, 1e-12);
        EXPECT_NEAR(p.z, 3.0, 1e-12);
    }

    const auto jets = worldDraw->ofKind("ellipArc");
    ASSERT_EQ(jets.size(), 4u);
    const OdCmEntityColor water = jets[0].trueColor;
    EXPECT_EQ(water.colorMethod(), OdCmEntityColor::kByColor);
    EXPECT_EQ(water.red(), 220);
    EXPECT_EQ(water.green(), 220);
    EXPECT_EQ(water.blue(), 255);
    // a = min(1.5 x 1, 1) = 1: arcs 1.5 high ending at a quarter turn; w = 1.
    const double directions[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (int i = 0; i < 4; ++i) {
        expectPoint(jets[i].center, 1 + 0.5 * directions[i][0], 2 + 0.5 * directions[i][1], 3);
        expectVector(jets[i].majorAxis, 0, 0, 1.5);
        expectVector(jets[i].minorAxis, 0.5 * directions[i][0], 0.5 * directions[i][1], 0);
        EXPECT_NEAR(jets[i].startAngle, -kPi / 2, 1e-12);
        EXPECT_NEAR(jets[i].endAngle, kPi / 2, 1e-12);
    }
}

TEST_F(FountainSymbol, wideFountainsKeepTheirCircleButClampTheJets)
{
    fountain->setSpreadWidth(10);
    draw();
    const auto rings = worldDraw->ofKind("polyline");
    ASSERT_EQ(rings.size(), 1u);
    for (const OdGePoint3d& p : rings[0].points)
        EXPECT_NEAR(p.distanceTo(OdGePoint3d::kOrigin), 10.0, 1e-12);
    const auto jets = worldDraw->ofKind("ellipArc");
    ASSERT_EQ(jets.size(), 4u);
    expectPoint(jets[0].center, 1.25, 0, 0);
    expectVector(jets[0].minorAxis, 1.25, 0, 0);
    expectVector(jets[3].minorAxis, 0, -1.25, 0);
}

TEST_F(FountainSymbol, weakJetsAreDrawnAtTheLowerLimits)
{
    fountain->setJetPower(0.001);
    fountain->setSpreadWidth(0.001);
    draw();
    const auto jets = worldDraw->ofKind("ellipArc");
    ASSERT_EQ(jets.size(), 4u);
    expectVector(jets[0].majorAxis, 0, 0, 0.015);
    expectVector(jets[0].minorAxis, 0.005, 0, 0);
    EXPECT_NEAR(jets[0].endAngle, 0.01 * kPi / 2, 1e-12);
}

TEST_F(FountainSymbol, jetsFollowTheFountainsTurnedAxes)
{
    fountain->setTransform(OdGeMatrix3d::rotation(kPi / 2, OdGeVector3d::kZAxis));
    draw();
    const auto jets = worldDraw->ofKind("ellipArc");
    ASSERT_EQ(jets.size(), 4u);
    // The +X arc: centre moved along world +X, minor axis along the fountain's X (world +Y).
    expectPoint(jets[0].center, 0.5, 0, 0);
    expectVector(jets[0].minorAxis, 0, 0.5, 0);
}

TEST_F(FountainSymbol, aMirroredFountainsYJetsFollowItsOwnYAxis)
{
    // Mirrored in the XZ plane: the placement's Y axis points to world -Y.
    fountain->setTransform(OdGeMatrix3d::scaling(OdGeScale3d(1, -1, 1)));
    draw();
    const auto jets = worldDraw->ofKind("ellipArc");
    ASSERT_EQ(jets.size(), 4u);
    expectVector(jets[0].minorAxis, 0.5, 0, 0);
    expectVector(jets[2].minorAxis, 0, -0.5, 0);
    expectVector(jets[3].minorAxis, 0, 0.5, 0);
    // The centres stay on the world axes of the same name.
    expectPoint(jets[2].center, 0, 0.5, 0);
}

class FountainElevation : public WaterFountain
{
protected:
    void SetUp() override
    {
        WaterFountain::SetUp();
        host = zalTestHost::make(zalTestHost::options(folder));
        db = OdDbDatabase::createObject();
        OdDbBlockTableRecordPtr modelSpace = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        fountain->setTransform(OdGeMatrix3d::translation(OdGeVector3d(4, 5, 1)));
        modelSpace->appendOdDbEntity(fountain);
    }
    void TearDown() override
    {
        fountain = nullptr;
        db = nullptr;
        host.reset();
    }

    QTemporaryDir folder;
    std::unique_ptr<zalHostApplication> host;
    OdDbDatabasePtr db;
};

TEST_F(FountainElevation, theFountainMovesOntoTheTerrainAndCountsTheCorrection)
{
    ASSERT_NE(host->terrainModeller(), nullptr);
    host->terrainModeller()->setFlatTerrain(db, 12.5);
    fountain->updateElevation();
    expectPoint(fountain->transform().getCsOrigin(), 4, 5, 12.5);
    EXPECT_EQ(fountain->buildVersion(), 1u);
    EXPECT_EQ(host->elevationQueryDepth(), 0);
    fountain->updateElevation();
    EXPECT_EQ(fountain->buildVersion(), 2u);
}

TEST_F(FountainElevation, withoutTerrainOrDatabaseNothingChanges)
{
    fountain->updateElevation();
    expectPoint(fountain->transform().getCsOrigin(), 4, 5, 1);
    EXPECT_EQ(fountain->buildVersion(), 0u);
    EXPECT_EQ(host->elevationQueryDepth(), 0);

    host->terrainModeller()->setFlatTerrain(nullptr, 3.0);
    zalDbWaterFountainPtr loose = zalDbWaterFountain::createObject();
    loose->updateElevation();
    EXPECT_TRUE(loose->transform().isIdentity());
    EXPECT_EQ(loose->buildVersion(), 0u);
}

} // namespace
