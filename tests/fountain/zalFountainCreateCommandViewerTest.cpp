// A fountain placed with "fountain_create" reaches the real viewer: the host shows the drawing in an
// "UnrealRender" view, the widget starts zalViewer over the socket channel, and the viewer's scene dump
// tells what it holds.
#include "fountain/OdDbXmlPropWaterFountain.h"
#include "fountain/zalDbWaterFountain.h"
#include "module/QUnrealDbRenderWidget.h"
#include "module/zalDbUnrealRenderSession.h"
#include "module/zalSessionRegistry.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"
#include "translate/zalViewerNames.h"

#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbViewportTableRecord.h"
#include "RxDynamicLinker.h"
#include "gs/DbFace.h"

#include "tests/common/zalModuleTestHost.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>

namespace {

class FountainViewer : public zalModuleTestHost
{
protected:
    void SetUp() override
    {
        useRecordingTransport = false;
        zalModuleTestHost::SetUp();
        if (HasFatalFailure()) return;
        db = newDrawing();
        {
            // A perspective camera looking down on the face from one corner.
            OdDbViewportTableRecordPtr active = db->activeViewportId().safeOpenObject(OdDb::kForWrite);
            active->setView(OdGePoint3d(25, -15, 20), OdGePoint3d(5, 5, 0), OdGeVector3d::kZAxis);
            active->setPerspectiveEnabled(true);
            active->setLensLength(35);
            active->setWidth(30);
            active->setHeight(20);
        }
        ASSERT_NO_FATAL_FAILURE(openInRealViewer(db, session));
        ASSERT_TRUE(waitFor([&] { return session->widget()->viewerWindow() != 0; }, 30000));
    }

    void TearDown() override
    {
        if (session && session->sender() && session->sender()->isProcessRunning()) {
            session->sender()->requestRenderExit();
            waitFor([&] { return !session->sender() || !session->sender()->isProcessRunning(); }, 20000);
        }
        closeViews();
        db = nullptr;
        zalModuleTestHost::TearDown();
    }

    // Pixels of a viewer screenshot where red clearly dominates.
    int redPixels(const QString& fileName)
    {
        const QString path = dir.filePath(fileName);
        module->sendViewerConsoleCommand(QString("HighResShot 480x320 filename=\"%1\"").arg(path));
        EXPECT_TRUE(waitFor([&] { return QFileInfo::exists(path); }, 60000)) << path.toStdString();
        const QImage image(path);
        EXPECT_FALSE(image.isNull());
        int red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                red += c.red() > 80 && c.red() > c.green() + 50 && c.red() > c.blue() + 50 ? 1 : 0;
            }
        return red;
    }

    zalDbUnrealRenderSession* session = nullptr;
    OdDbDatabasePtr db;
};

TEST_F(FountainViewer, thePlacedFountainIsTheParticleAssetWithItsParameters)
{
    EXPECT_EQ(host->console()->runScript("fountain_create\n2,3,0\n"), 1);
    const OdDbObjectId placed = host->console()->lastPlacedObject();
    ASSERT_FALSE(placed.isNull());
    const QString name = zalViewerNames::ofId(placed);

    QJsonObject scene, instance;
    ASSERT_TRUE(waitFor(
        [&] {
            scene = viewerScene(session);
            for (const QJsonValue& value : scene.value("instances").toArray())
                if (value.toObject().value("name").toString() == name) instance = value.toObject();
            return !instance.isEmpty();
        },
        30000))
        << QJsonDocument(scene).toJson().toStdString();
    EXPECT_EQ(instance.value("asset").toString(), "ConfigurableWaterFountain");

    const QJsonObject fountain =
        scene.value("settings").toObject().value("fountains").toObject().value(name).toObject();
    ASSERT_FALSE(fountain.isEmpty())
        << QJsonDocument(scene.value("settings").toObject()).toJson().toStdString();
    EXPECT_TRUE(fountain.value("active").toBool());
    EXPECT_DOUBLE_EQ(fountain.value("lifetime").toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(fountain.value("spawnRate").toDouble(), 7500.0);
    EXPECT_DOUBLE_EQ(fountain.value("jetPower").toDouble(), 1.5);
    const QJsonArray colour = fountain.value("colour").toArray();
    ASSERT_EQ(colour.size(), 4);
    EXPECT_NEAR(colour[0].toDouble(), 220.0 / 255.0, 1e-6);
    EXPECT_DOUBLE_EQ(colour[2].toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(colour[3].toDouble(), 5.0);
}

TEST_F(FountainViewer, theViewerDrawsTheFountainAsDropsInItsWaterColour)
{
    EXPECT_EQ(host->console()->runScript("fountain_create\n5,5,0\n"), 1);
    const OdDbObjectId placed = host->console()->lastPlacedObject();
    ASSERT_FALSE(placed.isNull());
    const QString name = zalViewerNames::ofId(placed);
    auto waterColour = [&] {
        return viewerScene(session)
            .value("settings")
            .toObject()
            .value("fountains")
            .toObject()
            .value(name)
            .toObject()
            .value("colour");
    };
    ASSERT_TRUE(waitFor([&] { return waterColour().toArray().size() == 4; }, 30000));
    // Nothing in the picture is red yet: the water is light blue, the face grey and the sky blue-grey.
    EXPECT_EQ(redPixels("before.png"), 0);

    // Red water through the property page: the changed fountain reaches the viewer again.
    OdDbXmlPropWaterFountainPtr page =
        OdDbXmlPropWaterFountain::createObject(zalDbWaterFountain::cast(placed.safeOpenObject().get()).get());
    OdPropSource::Action_t action;
    ASSERT_TRUE(page->setPropertyValue(OdString(L"FountainProperties/WaterColor"), OdString(L"255"), action));
    page = nullptr;
    // The changed fountain is sent again: wait until the viewer holds it, its parameters and no pending work.
    ASSERT_TRUE(waitFor(
        [&] {
            const QJsonObject d = viewerScene(session);
            const QJsonArray colour = d.value("settings")
                                          .toObject()
                                          .value("fountains")
                                          .toObject()
                                          .value(name)
                                          .toObject()
                                          .value("colour")
                                          .toArray();
            bool present = false;
            for (const QJsonValue& value : d.value("instances").toArray())
                present = present || value.toObject().value("name").toString() == name;
            const QJsonObject transactions = d.value("transactions").toObject();
            return present && colour.size() == 4 && colour[0].toDouble() == 1.0 &&
                   colour[1].toDouble() == 0.0 && !transactions.value("open").toBool() &&
                   transactions.value("pending").toInt() == 0;
        },
        30000));
    EXPECT_GT(redPixels("after.png"), 20);
}

} // namespace
