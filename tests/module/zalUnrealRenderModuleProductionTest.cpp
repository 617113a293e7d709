// Image and animation production through the session's channel: production mode, screenshots
// with their delay, game time.
#include "tests/common/zalSettingsTestSession.h"
#include "tests/common/zalSettingsTestUtil.h"

using namespace zalSettingsTestUtil;

namespace {

class Production : public zalSettingsSessionTest
{
protected:
    void SetUp() override
    {
        zalSettingsSessionTest::SetUp();
        if (HasFatalFailure()) return;
        db = OdDbDatabase::createObject();
        session = openDrawing(db.get());
        ASSERT_NE(session, nullptr);
        widget = session->widget();
        ASSERT_NE(widget, nullptr);
    }

    void store(const char* key, const QVariant& value) { session->sceneSettings()[key] = value; }
    int pathTracerVariable() const
    {
        return host->appProps()->intVariable(OdString(L"Vars/UEPathTracerProduction"), -1);
    }

    OdDbDatabasePtr db;
    zalDbUnrealRenderSession* session = nullptr;
    QUnrealDbRenderWidget* widget = nullptr;
};

} // namespace

TEST_F(Production, ExportSendsThePathUnchangedInsideTheQuotes)
{
    const QString path = "/tmp/render output/My Scene (final) 1.png";
    EXPECT_TRUE(module->exportImage(path, QSize(1920, 1080), 7));
    EXPECT_EQ(sent(),
              QStringList{"HighResShot 1920x1080 filename=\"/tmp/render output/My Scene (final) 1.png\""});
}

TEST_F(Production, PathTracedExportWaitsForTheSamples)
{
    store("RenderSettings/EnablePathTracing", 1);
    const struct
    {
        int samples;
        const char* delay;
    } rows[] = {{10, "r.HighresScreenshotDelay 50"},
                {44, "r.HighresScreenshotDelay 50"},
                {45, "r.HighresScreenshotDelay 50"},
                {46, "r.HighresScreenshotDelay 51"},
                {100, "r.HighresScreenshotDelay 105"}};
    for (const auto& row : rows) {
        recorder->clear();
        store("RenderSettings/PT_SamplesPerPixel", row.samples);
        EXPECT_TRUE(module->exportImage("/tmp/a.png", QSize(640, 480), 0));
        EXPECT_EQ(sent(), (QStringList{row.delay, "HighResShot 640x480 filename=\"/tmp/a.png\""}))
            << row.samples;
    }
    // The host gets one chance to catch up per delayed shot.
    EXPECT_GE(host->updateRequestCount(), int(std::size(rows)));
}

TEST_F(Production, ExportWithoutPathTracingHasNoDelay)
{
    store("RenderSettings/EnablePathTracing", 0);
    store("RenderSettings/PT_SamplesPerPixel", 500);
    const int updates = host->updateRequestCount();
    EXPECT_TRUE(module->exportImage("/tmp/b.png", QSize(100, 50), 0));
    EXPECT_EQ(sent(), QStringList{"HighResShot 100x50 filename=\"/tmp/b.png\""});
    EXPECT_EQ(host->updateRequestCount(), updates);
}

TEST_F(Production, ProducingUsesTheProductionIterations)
{
    store("RenderSettings/EnablePathTracing", 0);
    store("ImageProduction/MaxIterations", 100);
    store("AnimationProduction/MaxIterations", 20);
    module->setProductionMode(true, false, false, true);
    recorder->clear();
    EXPECT_TRUE(module->exportImage("/tmp/c.png", QSize(800, 600), 0));
    EXPECT_EQ(sent().value(0), "r.HighresScreenshotDelay 105");

    module->setProductionMode(true, true, false, true);
    recorder->clear();
    EXPECT_TRUE(module->exportImage("/tmp/c.png", QSize(800, 600), 0));
    EXPECT_EQ(sent().value(0), "r.HighresScreenshotDelay 50");

    // Without a stored count the default of 50 holds: 55.
    session->sceneSettings().remove("AnimationProduction/MaxIterations");
    recorder->clear();
    EXPECT_TRUE(module->exportImage("/tmp/c.png", QSize(800, 600), 0));
    EXPECT_EQ(sent().value(0), "r.HighresScreenshotDelay 55");

    // Producing without the path tracer: no delay, whatever the normal setting says.
    store("RenderSettings/EnablePathTracing", 1);
    module->setProductionMode(true, true, false, false);
    recorder->clear();
    EXPECT_TRUE(module->exportImage("/tmp/c.png", QSize(800, 600), 0));
    EXPECT_EQ(sent(), QStringList{"HighResShot 800x600 filename=\"/tmp/c.png\""});
}

TEST_F(Production, ExportNeedsAReachableViewer)
{
    host->console()->setCurrentDatabase(nullptr);
    EXPECT_FALSE(module->exportImage("/tmp/d.png", QSize(10, 10), 0));
    host->console()->setCurrentDatabase(db.get());
    recorder->simulateViewerExit(0);
    ASSERT_TRUE(waitFor([&] { return !session->sender() || !session->sender()->isViewerStarted(); }));
    recorder->clear();
    EXPECT_FALSE(module->exportImage("/tmp/d.png", QSize(10, 10), 0));
    module->setGameTimeSeconds(3);
    EXPECT_TRUE(recorder->lines().isEmpty());
}

TEST_F(Production, GameTimeIsSentWithSixDigits)
{
    module->setGameTimeSeconds(12.5f);
    module->setGameTimeSeconds(1.0f / 3.0f);
    module->setGameTimeSeconds(0);
    module->setGameTimeSeconds(1234567.0f);
    // Exactly halfway: the C library's rounding to even, and negative zero keeps its sign.
    module->setGameTimeSeconds(100000.5f);
    module->setGameTimeSeconds(9327565.0f);
    module->setGameTimeSeconds(-0.0f);
    EXPECT_EQ(sent(), (QStringList{"setgametime 12.5", "setgametime 0.333333", "setgametime 0",
                                   "setgametime 1.23457e+06", "setgametime 100000", "setgametime 9.32756e+06",
                                   "setgametime -0"}));
}

TEST_F(Production, SwitchingProductionPausesEachTime)
{
    module->setProductionMode(true, false, false, false);
    QStringList commands = sent();
    ASSERT_FALSE(commands.isEmpty());
    EXPECT_EQ(commands.first(), "pause");
    EXPECT_EQ(commands.value(1), "spawneruseinstances 1");
    EXPECT_EQ(commands.last(), "showflag.pathtracing 0");
    EXPECT_TRUE(widget->property("Producing").toBool());
    bool animation = true, preview = true, pathTracer = true;
    EXPECT_TRUE(module->isProducing(animation, preview, pathTracer));
    EXPECT_FALSE(animation);
    EXPECT_FALSE(preview);
    EXPECT_FALSE(pathTracer);

    recorder->clear();
    module->setProductionMode(false, false, false, false);
    commands = sent();
    ASSERT_FALSE(commands.isEmpty());
    EXPECT_EQ(commands.first(), "pause");
    EXPECT_EQ(commands.count("pause"), 1);
    EXPECT_FALSE(widget->property("Producing").toBool());
    EXPECT_FALSE(module->isProducing(animation, preview, pathTracer));
}

TEST_F(Production, SwitchingOnlyThePathTracerSendsNothing)
{
    module->setProductionMode(true, true, true, false);
    ASSERT_EQ(pathTracerVariable(), 0);
    recorder->clear();
    module->setProductionMode(true, true, true, true);
    EXPECT_TRUE(recorder->lines().isEmpty());
    EXPECT_EQ(pathTracerVariable(), 1);
    bool animation = false, preview = false, pathTracer = false;
    EXPECT_TRUE(module->isProducing(animation, preview, pathTracer));
    EXPECT_TRUE(animation);
    EXPECT_TRUE(preview);
    EXPECT_TRUE(pathTracer);
}

TEST_F(Production, ChangingTheKindOfProductionReappliesWithoutPause)
{
    module->setProductionMode(true, false, false, true);
    EXPECT_EQ(sent().last(), "showflag.pathtracing 1");
    recorder->clear();
    module->setProductionMode(true, true, false, true);
    const QStringList commands = sent();
    EXPECT_EQ(commands.count("pause"), 0);
    EXPECT_EQ(commands.value(0), "spawneruseinstances 1");
    EXPECT_EQ(commands.last(), "showflag.pathtracing 1");
    EXPECT_TRUE(widget->property("ProducingAnimation").toBool());

    recorder->clear();
    module->setProductionMode(false, false, false, true);
    EXPECT_EQ(sent().value(0), "pause");
    EXPECT_EQ(sent().last(), "showflag.pathtracing 0");
}

TEST_F(Production, PathTracerVariableIsStoredEvenWithoutViewer)
{
    host->console()->setCurrentDatabase(nullptr);
    module->setProductionMode(true, false, false, true);
    EXPECT_EQ(pathTracerVariable(), 1);
    EXPECT_EQ(host->appProps()->variableType("Vars/UEPathTracerProduction"), "int");
    EXPECT_TRUE(recorder->lines().isEmpty());
    EXPECT_FALSE(widget->property("Producing").toBool());
    bool animation = false, preview = false, pathTracer = false;
    EXPECT_FALSE(module->isProducing(animation, preview, pathTracer));
    EXPECT_TRUE(pathTracer);
}
