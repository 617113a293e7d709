// The viewer's console: what each command the host sends leaves behind.
#include "zalViewerConsole.h"
#include "zalViewerScreenshotDelay.h"
#include "zalViewerSunSky.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

class Console : public ::testing::Test
{
protected:
    zalViewerConsole::Action run(const QString& line) { return console.execute(line); }
    zalViewerSettings settings;
    zalViewerConsole console{settings};
};

TEST_F(Console, KeepsPostProcessFieldsOneByOne)
{
    run("Set PostProcessVolume Settings (bOverride_ReflectionMethod=1,ReflectionMethod=RayTraced,"
        "ColorGain=(X=1.2,Y=1.2,Z=1.2,W=1.000000),bOverride_BloomIntensity = True,BloomIntensity = 0)");
    EXPECT_EQ(settings.postProcess.value("ReflectionMethod"), "RayTraced");
    EXPECT_EQ(settings.postProcess.value("ColorGain"), "(X=1.2,Y=1.2,Z=1.2,W=1.000000)");
    EXPECT_EQ(settings.postProcess.value("bOverride_BloomIntensity"), "True");
    EXPECT_EQ(settings.postProcess.value("BloomIntensity"), "0");
    EXPECT_EQ(settings.postProcess.size(), 5);
    EXPECT_TRUE(settings.actors.value("PostProcessVolume").value("Settings").startsWith("(bOverride_"));
    EXPECT_TRUE(settings.unknownCommands.isEmpty());
}

TEST_F(Console, KeepsActorPropertiesWithBlanksInTheValue)
{
    run("Set zalSunSky_C SunSolarTime 11.0083");
    run("Set SomeActor Label two words");
    EXPECT_EQ(settings.actors.value("zalSunSky_C").value("SunSolarTime"), "11.0083");
    EXPECT_EQ(settings.actors.value("SomeActor").value("Label"), "two words");
}

TEST_F(Console, ReadsTheAmbientOcclusionColour)
{
    run("setao 1;0;0.501961");
    EXPECT_TRUE(settings.aoColourSet);
    EXPECT_FLOAT_EQ(settings.aoColour.x(), 1.0f);
    EXPECT_FLOAT_EQ(settings.aoColour.z(), 0.501961f);
    run("setao 1;0");
    EXPECT_EQ(settings.unknownCommands, QStringList{"setao 1;0"});
}

TEST_F(Console, GameTimePauseAndPathTracing)
{
    run("setgametime 12.5");
    EXPECT_DOUBLE_EQ(settings.gameTime, 12.5);
    run("pause");
    EXPECT_TRUE(settings.gamePaused);
    run("pause");
    EXPECT_FALSE(settings.gamePaused);
    run("showflag.pathtracing 1");
    EXPECT_EQ(settings.pathTracing, 1);
    EXPECT_EQ(settings.consoleVariables.value("showflag.pathtracing"), "1");
    run("showflag.pathtracing 0");
    EXPECT_EQ(settings.pathTracing, 0);
}

TEST_F(Console, ConsoleVariablesAndSwitches)
{
    run("r.HighresScreenshotDelay 55");
    run("r.HighResshotDelay 500");
    run("r.Shadow.FadeResolution 1.27324");
    run("spawneruseinstances 1");
    run("DisableAllScreenMessages");
    run("r.raytracing.ForceAllRayTracingEffects");
    run("r.setRes 1920x1080w");
    EXPECT_EQ(settings.consoleVariables.value("r.HighresScreenshotDelay"), "55");
    EXPECT_EQ(settings.consoleVariables.value("r.HighResshotDelay"), "500");
    EXPECT_EQ(settings.consoleVariables.value("r.Shadow.FadeResolution"), "1.27324");
    EXPECT_EQ(settings.consoleVariables.value("spawneruseinstances"), "1");
    EXPECT_TRUE(settings.consoleVariables.contains("DisableAllScreenMessages"));
    EXPECT_TRUE(settings.consoleVariables.contains("r.raytracing.ForceAllRayTracingEffects"));
    EXPECT_EQ(settings.consoleVariables.value("r.setRes"), "1920x1080w");
    EXPECT_TRUE(settings.unknownCommands.isEmpty());
}

TEST_F(Console, HighResShotTakesSizeAndAQuotedPathWithBlanks)
{
    zalViewerConsole::Action a = run("HighResShot 640x360 filename=\"/tmp/a b/shot.png\"");
    EXPECT_EQ(a.kind, zalViewerConsole::Action::Screenshot);
    EXPECT_EQ(a.size, QSize(640, 360));
    EXPECT_EQ(a.path, "/tmp/a b/shot.png");
    a = run("highresshot 1920x1080");
    EXPECT_EQ(a.kind, zalViewerConsole::Action::Screenshot);
    EXPECT_TRUE(a.path.isEmpty());
    a = run("HighResShot 2");
    EXPECT_EQ(a.kind, zalViewerConsole::Action::Screenshot);
    EXPECT_EQ(a.multiplier, 2);
    a = run("HighResShot wide");
    EXPECT_EQ(a.kind, zalViewerConsole::Action::None);
    EXPECT_EQ(settings.unknownCommands, QStringList{"HighResShot wide"});
}

TEST_F(Console, FountainParametersThroughCallOnActor)
{
    run("CallOnActor D_zalDbWaterFountain_2F SetFountainParams False (R=0.2,G=0.4,B=1,A=5.0) 2.5 150 40 12 "
        "800");
    EXPECT_TRUE(settings.actorCalls.value("D_zalDbWaterFountain_2F").startsWith("SetFountainParams False"));
    const QJsonObject f = settings.fountains.value("D_zalDbWaterFountain_2F");
    EXPECT_FALSE(f.value("active").toBool());
    EXPECT_DOUBLE_EQ(f.value("colour").toArray().at(1).toDouble(), 0.4);
    EXPECT_DOUBLE_EQ(f.value("colour").toArray().at(3).toDouble(), 5.0);
    EXPECT_DOUBLE_EQ(f.value("lifetime").toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(f.value("spawnRate").toDouble(), 150);
    EXPECT_DOUBLE_EQ(f.value("spreadWidth").toDouble(), 40);
    EXPECT_DOUBLE_EQ(f.value("spreadStartWidth").toDouble(), 12);
    EXPECT_DOUBLE_EQ(f.value("jetPower").toDouble(), 800);
    // Other calls are kept as they came.
    run("CallOnActor Lamp Toggle");
    EXPECT_EQ(settings.actorCalls.value("Lamp"), "Toggle");
}

TEST_F(Console, OwnCommandsComeBackAsActions)
{
    zalViewerConsole::Action a = run("zal.DumpScene \"/tmp/x y/dump.json\"");
    EXPECT_EQ(a.kind, zalViewerConsole::Action::DumpScene);
    EXPECT_EQ(a.path, "/tmp/x y/dump.json");
    a = run("zal.DropEntity E1");
    EXPECT_EQ(a.kind, zalViewerConsole::Action::DropEntity);
    EXPECT_EQ(a.name, "E1");
    EXPECT_EQ(run("quit").kind, zalViewerConsole::Action::Quit);
    EXPECT_EQ(run("zal.ReportMemory").kind, zalViewerConsole::Action::ReportMemory);
    // The step of a drawing built in steps: -1 (held) to a second; other values leave it.
    run("zal.DrawingStepMs -1");
    EXPECT_EQ(settings.drawingStepMs, -1);
    run("zal.DrawingStepMs 1001");
    run("zal.DrawingStepMs soon");
    EXPECT_EQ(settings.drawingStepMs, -1);
    EXPECT_EQ(settings.unknownCommands, (QStringList{"zal.DrawingStepMs 1001", "zal.DrawingStepMs soon"}));
    settings.unknownCommands.clear();
    // How long a frame may wait for an open transaction: 0 (never) to a minute.
    run("zal.TransactionFrameHoldMs 0");
    EXPECT_EQ(settings.transactionFrameHoldMs, 0);
    run("zal.TransactionFrameHoldMs 60001");
    run("zal.TransactionFrameHoldMs -5");
    EXPECT_EQ(settings.transactionFrameHoldMs, 0);
    EXPECT_EQ(settings.unknownCommands,
              (QStringList{"zal.TransactionFrameHoldMs 60001", "zal.TransactionFrameHoldMs -5"}));
    settings.unknownCommands.clear();
    run("ShowOutliner");
    run("PostProcessSettings");
    run("refresh_materials");
    EXPECT_EQ(settings.uiRequests, (QStringList{"ShowOutliner", "PostProcessSettings"}));
    EXPECT_EQ(settings.materialRefreshes, 1);
}

TEST_F(Console, UnknownCommandsAreKeptAndLoggedNeverFatal)
{
    run("Frobnicate 1 2 3");
    run("Set OnlyActor");
    run("   ");
    EXPECT_EQ(settings.unknownCommands, (QStringList{"Frobnicate 1 2 3", "Set OnlyActor"}));
    EXPECT_EQ(settings.consoleLog, (QStringList{"Frobnicate 1 2 3", "Set OnlyActor"}));
}

} // namespace

namespace {

TEST_F(Console, HighlightNamesTheSelectedInstancesAndAnEmptyOneClears)
{
    run("zal.highlight 1_AcDbPolyFaceMesh_1C   1_AcDbBlockReference_2F");
    EXPECT_EQ(settings.highlighted, (QStringList{"1_AcDbPolyFaceMesh_1C", "1_AcDbBlockReference_2F"}));
    run("zal.highlight 1_AcDbLine_30");
    EXPECT_EQ(settings.highlighted, QStringList{"1_AcDbLine_30"});
    run("zal.highlight");
    EXPECT_TRUE(settings.highlighted.isEmpty());
    EXPECT_TRUE(settings.unknownCommands.isEmpty()) << settings.unknownCommands.join('|').toStdString();
}

} // namespace

// The production and sun commands the module sends.
namespace {

class ViewerCommands : public ::testing::Test
{
protected:
    zalViewerSettings settings;
    zalViewerConsole console{settings};
};

} // namespace

TEST_F(ViewerCommands, SunSkyDateCommandsPlaceTheSunByTime)
{
    for (const char* line : {"Set zalSunSky_C SunLongitude 12.4964", "Set zalSunSky_C SunLatitude 41.9028",
                             "Set zalSunSky_C SunNorthOffset 90", "Set zalSunSky_C SunDateYear 2026",
                             "Set zalSunSky_C SunDateMonth 12", "Set zalSunSky_C SunDateDay 6",
                             "Set zalSunSky_C SunSolarTime 11.0103"})
        console.execute(line);
    EXPECT_EQ(settings.sunMode, "time");
    EXPECT_FLOAT_EQ(settings.sunLongitude, 12.4964f);
    EXPECT_FLOAT_EQ(settings.sunLatitude, 41.9028f);
    EXPECT_EQ(settings.sunNorthOffset, 90);
    EXPECT_EQ(settings.sunYear, 2026);
    EXPECT_EQ(settings.sunMonth, 12);
    EXPECT_EQ(settings.sunDay, 6);
    EXPECT_FLOAT_EQ(settings.sunSolarTime, 11.0103f);
    // Still an actor property as well.
    EXPECT_EQ(settings.actors["zalSunSky_C"]["SunDateYear"], "2026");
    EXPECT_TRUE(settings.unknownCommands.isEmpty());
}

TEST_F(ViewerCommands, SunSkyLightPropertiesLeaveThePlacementAlone)
{
    settings.sunMode = "position";
    console.execute("Set zalSunSky_C SunSourceAngle 0.5");
    console.execute("Set zalSunSky_C IntensityMultiplier 1");
    console.execute("Set zalSunSky_C SunIntensity 75000");
    EXPECT_EQ(settings.sunMode, "position");
    EXPECT_EQ(settings.actors["zalSunSky_C"]["SunIntensity"], "75000");
}

TEST_F(ViewerCommands, MalformedSunValuesAreKeptOnlyAsText)
{
    EXPECT_FALSE(zalViewerApplySunSkyProperty(settings, "SunDateYear", "soon"));
    EXPECT_FALSE(zalViewerApplySunSkyProperty(settings, "SunDateYear", "1e30"));
    EXPECT_FALSE(zalViewerApplySunSkyProperty(settings, "SunSolarTime", "nan"));
    EXPECT_FALSE(zalViewerApplySunSkyProperty(settings, "SunColour", "1"));
    EXPECT_EQ(settings.sunMode, "");
    EXPECT_EQ(settings.sunYear, 0);
    console.execute("Set zalSunSky_C SunDateMonth May");
    EXPECT_EQ(settings.sunMonth, 0);
    EXPECT_EQ(settings.actors["zalSunSky_C"]["SunDateMonth"], "May");
}

TEST_F(ViewerCommands, ScreenshotWaitsTheExportDelay)
{
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings), 0);
    console.execute("r.HighresScreenshotDelay 50");
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings), 50);
    // The settings' own delay is another variable and does not hold up screenshots.
    console.execute("r.HighResshotDelay 500");
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings), 50);
    console.execute("r.highresscreenshotdelay 105");
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings), 105);
}

TEST_F(ViewerCommands, ScreenshotDelayOutsideItsRange)
{
    console.execute("r.HighresScreenshotDelay -3");
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings), 0);
    console.execute("r.HighresScreenshotDelay many");
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings), 0);
    console.execute("r.HighresScreenshotDelay 99999999999");
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings), 0);
    console.execute("r.HighresScreenshotDelay 200000");
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings), 100000);
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings, 10), 10);
    // A longer name is another variable.
    console.execute("r.HighresScreenshotDelayFrames 7");
    EXPECT_EQ(zalViewerScreenshotDelayFrames(settings), 100000);
}
