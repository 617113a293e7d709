#include "tests/common/zalTestHost.h"

#include "IzalApplication.h"
#include "zalHostIdStrings.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbLight.h"
#include "DbMaterial.h"
#include "RxClass.h"

#include <gtest/gtest.h>

class zalHostIdStringsTest : public ::testing::Test
{
protected:
    zalTestHost host{0};
    IzalApplication* app = zalApp();
    OdDbDatabasePtr db = OdDbDatabase::createObject();

    OdDbObjectId appendLight(OdDbDatabase* database)
    {
        OdDbLightPtr light = OdDbLight::createObject();
        OdDbBlockTableRecordPtr space = database->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        return space->appendOdDbEntity(light.get());
    }
};

TEST_F(zalHostIdStringsTest, materialIdRoundTrips)
{
    const OdDbObjectId id = db->globalMaterialId();
    const QString text = app->objectIdToString(id);
    EXPECT_TRUE(text.contains("_AcDbMaterial_")) << text.toStdString();
    EXPECT_EQ(app->stringToObjectId(text), id);
    EXPECT_EQ(app->stringToObjectId(text, db.get()), id);
}

TEST_F(zalHostIdStringsTest, formIsTagClassAndHexHandle)
{
    const OdDbObjectId id = appendLight(db.get());
    const QString text = app->objectIdToString(id);
    const QString tag = host.app()->idStrings()->databaseTag(db.get());
    const QString expected = tag + "_" + QString::fromStdWString(OdDbLight::desc()->name().toStdWString()) +
                             "_" + QString::number(qulonglong(OdUInt64(id.getHandle())), 16).toUpper();
    EXPECT_EQ(text, expected);
    EXPECT_FALSE(tag.contains('_'));
    EXPECT_EQ(app->stringToObjectId(text), id);
}

TEST_F(zalHostIdStringsTest, objectAndItsIdGiveTheSameString)
{
    const OdDbObjectId id = db->byLayerMaterialId();
    OdDbObjectPtr object = id.safeOpenObject();
    EXPECT_EQ(app->objectToIdString(object.get()), app->objectIdToString(id));
    EXPECT_EQ(app->objectToIdString(nullptr), QString());
}

TEST_F(zalHostIdStringsTest, nullIdGivesEmptyString)
{
    EXPECT_EQ(app->objectIdToString(OdDbObjectId()), QString());
    EXPECT_TRUE(app->stringToObjectId(QString()).isNull());
}

TEST_F(zalHostIdStringsTest, stringsThatNameNothingGiveTheNullId)
{
    const QString good = app->objectIdToString(db->globalMaterialId());
    const QString tag = good.section('_', 0, 0);
    const QString handle = good.section('_', -1);
    for (const QString& bad :
         {QString("nothing"), QString("_AcDbMaterial_1"), tag + "_AcDbMaterial_", tag + "__" + handle,
          tag + "_AcDbLight_" + handle, tag + "_AcDbMaterial_ZZ", tag + "_AcDbMaterial_FFFFFF",
          QString("Q9_AcDbMaterial_") + handle, tag + "_AcDbMaterial_0", good + "_"})
        EXPECT_TRUE(app->stringToObjectId(bad).isNull()) << bad.toStdString();
}

TEST_F(zalHostIdStringsTest, otherDatabaseDoesNotResolveTheString)
{
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    const QString text = app->objectIdToString(db->globalMaterialId());
    const QString otherText = app->objectIdToString(other->globalMaterialId());
    EXPECT_NE(text, otherText);
    EXPECT_TRUE(app->stringToObjectId(text, other.get()).isNull());
    EXPECT_EQ(app->stringToObjectId(otherText, other.get()), other->globalMaterialId());
}

TEST_F(zalHostIdStringsTest, destroyedDatabaseNamesNothing)
{
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    const QString text = app->objectIdToString(other->globalMaterialId());
    ASSERT_FALSE(app->stringToObjectId(text).isNull());
    other = nullptr;
    EXPECT_TRUE(app->stringToObjectId(text).isNull());
}

TEST_F(zalHostIdStringsTest, drawingFileGivesTheSameTagInTheNextSession)
{
    db->setFilename(OdString(host.filePath("house.dxf").toStdWString()));
    const QString first = host.app()->idStrings()->databaseTag(db.get());
    EXPECT_TRUE(first.startsWith('D'));

    OdDbDatabasePtr reopened = OdDbDatabase::createObject();
    reopened->setFilename(db->getFilename());
    zalHostIdStrings nextSession;
    EXPECT_EQ(nextSession.databaseTag(reopened.get()), first);
    // In the same session the second copy of a drawing needs its own tag.
    EXPECT_NE(host.app()->idStrings()->databaseTag(reopened.get()), first);
}

TEST_F(zalHostIdStringsTest, forEachEntityVisitsModelSpace)
{
    const OdDbObjectId a = appendLight(db.get());
    const OdDbObjectId b = appendLight(db.get());
    QList<OdDbObjectId> seen;
    app->forEachEntity(db.get(), [&seen](OdDbEntity* entity) { seen << entity->objectId(); });
    EXPECT_EQ(seen, QList<OdDbObjectId>({a, b}));
}
