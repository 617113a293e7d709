// What the reference viewer makes of the production and sun commands the module sends.
#include "zalViewerConsole.h"
#include "zalViewerScreenshotDelay.h"
#include "zalViewerSunSky.h"

#include <gtest/gtest.h>

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
