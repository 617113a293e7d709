// The terrain service: border reactor suspension through its locker, and elevations.
#include "tests/common/zalTestHost.h"

#include "IzalApplication.h"
#include "IzalTerrainModellerModule.h"
#include "borderReactorLocker.h"
#include "zalHostTerrainModeller.h"

#include "DbDatabase.h"
#include "Ge/GePoint3d.h"

#include <gtest/gtest.h>

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
