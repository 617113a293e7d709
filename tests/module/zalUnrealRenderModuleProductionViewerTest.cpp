// Image production and scene settings with the real viewer: the host shows a drawing in an
// "UnrealRender" view, the widget starts zalViewer over the socket channel and embeds it, and the
// viewer's own dump and screenshot files tell what arrived.
#include "tests/common/zalSettingsTestSession.h"

#include "gs/DbFace.h"

#include "DbBlockTableRecord.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class ProductionViewer : public zalSettingsSessionTest
{
protected:
    ProductionViewer() { useRecordingTransport = false; }

    void SetUp() override
    {
        zalSettingsSessionTest::SetUp();
        if (HasFatalFailure()) return;
        db = newDrawing();
        const Opened o = open(db.get());
        ASSERT_NE(o.view, nullptr);
        session = o.session;
        ASSERT_NE(session, nullptr);

        // Shown, the widget starts the viewer it finds under the application folder.
        QWidget* widget = o.view->widget();
        ASSERT_NE(widget, nullptr);
        widget->resize(480, 320);
        widget->show();
        ASSERT_TRUE(waitFor([&] { return session->sender() && session->sender()->isViewerStarted(); }, 60000))
            << "the viewer did not start";
        ASSERT_TRUE(waitFor([&] { return session->widget()->viewerWindow() != 0; }, 30000))
            << "the viewer window was not embedded";
        ASSERT_TRUE(waitFor([&] { return !session->isFirstRunPending(); }, 30000)) << "no first run";
    }

    void TearDown() override
    {
        if (session && session->sender() && session->sender()->isProcessRunning()) {
            session->sender()->requestRenderExit();
            // Until the viewer has gone: one still closing when the test ends loses its X server
            // under it, and Qt leaves a broken display connection unclosed.
            waitFor([&] { return !session->sender() || !session->sender()->isProcessRunning(); }, 90000);
        }
        zalSettingsSessionTest::TearDown();
    }

    // The viewer's scene and settings as it holds them after everything sent so far.
    QJsonObject dump() { return viewerScene(session).value("settings").toObject(); }

    OdDbDatabasePtr db;
    zalDbUnrealRenderSession* session = nullptr;
};

} // namespace

TEST_F(ProductionViewer, ExportedImageHasTheRequestedSize)
{
    // Few samples: the size is what counts here, and a loaded machine path-traces 1080p slowly.
    module->setSceneSettings("RenderSettings/PT_SamplesPerPixel", 2, true, false);
    module->setSceneSettings("RenderSettings/EnablePathTracing", 1, true, false);
    const QString path = dir.filePath("renders/final shot 1.png");
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(module->exportImage(path, QSize(1920, 1080), 0));

    // The shot waits its frames and path-traces 1920 x 1080; an instrumented viewer on a software
    // renderer takes minutes for that.
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(path); }, 400000))
        << "no image at " << path.toStdString();
    const QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(1920, 1080));

    const QJsonObject settings = dump();
    EXPECT_EQ(settings.value("consoleVariables").toObject().value("r.HighresScreenshotDelay").toString(),
              "50");
    EXPECT_EQ(settings.value("consoleVariables").toObject().value("r.HighResshotDelay").toString(),
              "4"); // 2 frames per sample
    EXPECT_EQ(settings.value("pathTracing").toInt(), 1);
    EXPECT_TRUE(settings.value("screenshots").toArray().contains(path));
}

TEST_F(ProductionViewer, ViewerHoldsTheAppliedSettings)
{
    // The sun placed by date: today's, at 11 and the current seconds.
    const QDate today = QDate::currentDate();
    module->applyCurrentSceneSettings();
    QJsonObject sunByTime = dump().value("sun").toObject();
    EXPECT_EQ(sunByTime.value("mode").toString(), "time");
    EXPECT_EQ(sunByTime.value("year").toInt(), today.year());
    EXPECT_EQ(sunByTime.value("month").toInt(), today.month());
    EXPECT_EQ(sunByTime.value("day").toInt(), today.day());
    EXPECT_EQ(sunByTime.value("northOffset").toInt(), 90);
    EXPECT_NEAR(sunByTime.value("latitude").toDouble(), 41.9028, 1e-4);
    EXPECT_NEAR(sunByTime.value("longitude").toDouble(), 12.4964, 1e-4);
    EXPECT_GE(sunByTime.value("solarTime").toDouble(), 11.0);
    EXPECT_LT(sunByTime.value("solarTime").toDouble(), 11.0 + 60 / 3600.0);

    module->setSceneSettings("ToneMapper/Gamma", 2.2, false, false);
    module->setSceneSettings("ToneMapper/AmbientOcclusionColor", 255, false, false);
    module->setSceneSettings("Sun/Environment/SunMode", 1, false, false);
    module->setSceneSettings("Sun/Environment/SunAzimut", 30, false, false);
    module->setSceneSettings("Sun/Environment/SunElevation", 40, false, false);
    module->setSceneSettings("Sun/Environment/SunNorth", 10, true, false);
    module->setGameTimeSeconds(12.5f);

    QJsonObject settings = dump();
    const QJsonObject postProcess = settings.value("postProcess").toObject();
    EXPECT_EQ(postProcess.value("ColorGamma").toString(), "(X=2.2,Y=2.2,Z=2.2,W=1.000000)");
    EXPECT_EQ(postProcess.value("PathTracingSamplesPerPixel").toString(), "250");
    EXPECT_EQ(postProcess.value("BloomMethod").toString(), "BM_SOG");
    const QJsonObject sun = settings.value("sun").toObject();
    EXPECT_EQ(sun.value("mode").toString(), "position");
    EXPECT_EQ(sun.value("northOffset").toInt(), 100);
    EXPECT_EQ(sun.value("azimuth").toDouble(), 30);
    EXPECT_EQ(sun.value("elevation").toDouble(), 40);
    EXPECT_EQ(settings.value("aoColour").toArray(), (QJsonArray{1, 0, 0}));
    EXPECT_EQ(settings.value("gameTime").toDouble(), 12.5);
    EXPECT_EQ(settings.value("consoleVariables").toObject().value("r.Shadow.FadeResolution").toString(),
              "1.27324");
    const bool pausedBefore = settings.value("gamePaused").toBool();

    // Production pauses the game and switches the path tracer on.
    module->setSceneSettings("ImageProduction/EnablePathTracing", 1, false, false);
    module->setProductionMode(true, false, false, true);
    settings = dump();
    EXPECT_NE(settings.value("gamePaused").toBool(), pausedBefore);
    EXPECT_EQ(settings.value("pathTracing").toInt(), 1);
    module->setProductionMode(false, false, false, true);
    settings = dump();
    EXPECT_EQ(settings.value("gamePaused").toBool(), pausedBefore);
    EXPECT_EQ(settings.value("pathTracing").toInt(), 0);
}
