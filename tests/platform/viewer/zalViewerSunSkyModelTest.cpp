// The sun and sky model: where the sun stands for a date, time and place, how bright and what
// colour it is, and how the sky looks by day, at dusk and at night.
#include "zalViewerSunSkyModel.h"
#include "zalViewerSettings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

zalViewerSettings byTime(double hours, double latitude = 45, int month = 6, int day = 21)
{
    zalViewerSettings s;
    s.sunMode = QStringLiteral("time");
    s.sunYear = 2024;
    s.sunMonth = month;
    s.sunDay = day;
    s.sunSolarTime = float(hours);
    s.sunLatitude = float(latitude);
    s.sunNorthOffset = 90; // the host's default: north is +Y
    return s;
}

// Mean sky luminance over the upper hemisphere, sampled on a fixed grid.
float meanSky(const zalViewerSunState& sun)
{
    double sum = 0;
    int n = 0;
    for (int i = 1; i < 12; ++i)
        for (int j = 0; j < 24; ++j) {
            const double el = i * 7.5 * M_PI / 180, az = j * 15 * M_PI / 180;
            const QVector3D d(float(std::cos(el) * std::sin(az)), float(std::cos(el) * std::cos(az)),
                              float(std::sin(el)));
            const QVector3D r = zalViewerSkyRadiance(sun, d);
            sum += 0.2126 * r.x() + 0.7152 * r.y() + 0.0722 * r.z();
            ++n;
        }
    return float(sum / n);
}

TEST(SunPosition, StandsSouthAtSolarNoonAtTheHeightOfLatitudeAndDeclination)
{
    double azimuth = 0, elevation = 0;
    // Midsummer at 45 N: 90 - 45 + 23.44.
    zalViewerSolarPosition(2024, 6, 21, 12.0, 45.0, azimuth, elevation);
    EXPECT_NEAR(elevation, 68.4, 1.0);
    EXPECT_NEAR(azimuth, 180.0, 0.5);
    // Midwinter: 90 - 45 - 23.44.
    zalViewerSolarPosition(2024, 12, 21, 12.0, 45.0, azimuth, elevation);
    EXPECT_NEAR(elevation, 21.6, 1.0);
    // Southern hemisphere: the noon sun is in the north.
    zalViewerSolarPosition(2024, 12, 21, 12.0, -33.9, azimuth, elevation);
    EXPECT_TRUE(azimuth < 1.0 || azimuth > 359.0) << azimuth;
}

TEST(SunPosition, RisesInTheEastAndSetsInTheWest)
{
    double morningAz = 0, morningEl = 0, eveningAz = 0, eveningEl = 0, nightAz = 0, nightEl = 0;
    zalViewerSolarPosition(2024, 3, 20, 7.0, 45.0, morningAz, morningEl);
    zalViewerSolarPosition(2024, 3, 20, 17.0, 45.0, eveningAz, eveningEl);
    zalViewerSolarPosition(2024, 3, 20, 0.0, 45.0, nightAz, nightEl);
    EXPECT_GT(morningAz, 60);
    EXPECT_LT(morningAz, 120);
    EXPECT_GT(eveningAz, 240);
    EXPECT_LT(eveningAz, 300);
    EXPECT_NEAR(morningEl, eveningEl, 0.5); // symmetric about noon
    EXPECT_GT(morningEl, 0);
    EXPECT_LT(nightEl, -30);
}

TEST(SunDirection, FollowsCompassAndNorthOffsetInTheSceneFrame)
{
    // North offset 90 makes +Y north; east is then +X (Z up, right-handed).
    EXPECT_NEAR((zalViewerDirection(0, 0, 90) - QVector3D(0, 1, 0)).length(), 0, 1e-5);
    EXPECT_NEAR((zalViewerDirection(90, 0, 90) - QVector3D(1, 0, 0)).length(), 0, 1e-5);
    EXPECT_NEAR((zalViewerDirection(180, 0, 90) - QVector3D(0, -1, 0)).length(), 0, 1e-5);
    EXPECT_NEAR((zalViewerDirection(33, 90, 90) - QVector3D(0, 0, 1)).length(), 0, 1e-5);
    // Turning north by 90 degrees turns the sun with it.
    EXPECT_NEAR((zalViewerDirection(0, 0, 0) - QVector3D(-1, 0, 0)).length(), 0, 1e-5);
    const QVector3D d = zalViewerDirection(200, 30, 90);
    EXPECT_NEAR(d.length(), 1, 1e-5);
    EXPECT_NEAR(d.z(), 0.5, 1e-5);
}

TEST(SunFromSettings, PlacesTheSunByPositionOrByTime)
{
    zalViewerSettings s;
    s.sunMode = QStringLiteral("position");
    s.sunNorthOffset = 90;
    s.sunAzimuth = 90;
    s.sunElevation = 30;
    const zalViewerSunState byPos = zalViewerSunFromSettings(s);
    EXPECT_NEAR(byPos.toSun.x(), std::cos(30 * M_PI / 180), 1e-4);
    EXPECT_NEAR(byPos.toSun.z(), 0.5, 1e-4);
    EXPECT_FLOAT_EQ(byPos.elevationDeg, 30);

    const zalViewerSunState noon = zalViewerSunFromSettings(byTime(12));
    EXPECT_NEAR(noon.elevationDeg, 68.4, 1.0);
    EXPECT_LT(noon.toSun.y(), -0.3); // south is -Y
}

TEST(SunFromSettings, SecondsWithinAMinuteDoNotMoveTheSun)
{
    // The host adds the clock's seconds to the solar time: 11:00:05 and 11:00:55 are one sun.
    const zalViewerSunState a = zalViewerSunFromSettings(byTime(11.0 + 5.0 / 3600));
    const zalViewerSunState b = zalViewerSunFromSettings(byTime(11.0 + 55.0 / 3600));
    const zalViewerSunState c = zalViewerSunFromSettings(byTime(11.0 + 65.0 / 3600));
    EXPECT_EQ(a.toSun, b.toSun);
    EXPECT_EQ(a.illuminanceLux, b.illuminanceLux);
    EXPECT_NE(a.toSun, c.toSun); // the next minute does
    EXPECT_EQ(zalViewerSunFromSettings(byTime(11.0)).toSun, a.toSun);
}

TEST(SunFromSettings, EveningSunIsDimmerAndRedderAndTheNightHasNone)
{
    const zalViewerSunState noon = zalViewerSunFromSettings(byTime(12));
    const zalViewerSunState evening = zalViewerSunFromSettings(byTime(19.5));
    const zalViewerSunState night = zalViewerSunFromSettings(byTime(23));
    ASSERT_GT(evening.elevationDeg, 0);
    ASSERT_LT(evening.elevationDeg, 10);
    EXPECT_GT(noon.illuminanceLux, 50000);
    EXPECT_LT(noon.illuminanceLux, 75001);
    EXPECT_LT(evening.illuminanceLux, 0.5f * noon.illuminanceLux);
    EXPECT_GT(evening.illuminanceLux, 0);
    EXPECT_LT(evening.colour.z() / evening.colour.x(), 0.7f * noon.colour.z() / noon.colour.x());
    EXPECT_FLOAT_EQ(std::max({noon.colour.x(), noon.colour.y(), noon.colour.z()}), 1.0f);
    EXPECT_FALSE(night.aboveHorizon);
    EXPECT_EQ(night.illuminanceLux, 0);
}

TEST(SunFromSettings, ActorPropertiesScaleAndSizeTheSun)
{
    zalViewerSettings s = byTime(12);
    const float base = zalViewerSunFromSettings(s).illuminanceLux;
    s.actors["zalSunSky_C"]["IntensityMultiplier"] = "2";
    EXPECT_NEAR(zalViewerSunFromSettings(s).illuminanceLux, 2 * base, base * 1e-4);
    s.actors["zalSunSky_C"]["SunIntensity"] = "37500";
    EXPECT_NEAR(zalViewerSunFromSettings(s).illuminanceLux, base, base * 1e-4);
    s.actors["zalSunSky_C"]["SunSourceAngle"] = "2";
    EXPECT_FLOAT_EQ(zalViewerSunFromSettings(s).angularRadiusDeg, 1.0f);
    s.actors["zalSunSky_C"]["IntensityMultiplier"] = "nonsense";
    EXPECT_NEAR(zalViewerSunFromSettings(s).illuminanceLux, base * 0.5f, base * 1e-4);
}

TEST(Sky, BlueByDayDarkerAtDuskAndDarkAtNight)
{
    const zalViewerSunState noon = zalViewerSunFromSettings(byTime(12));
    const zalViewerSunState evening = zalViewerSunFromSettings(byTime(19.5));
    const zalViewerSunState night = zalViewerSunFromSettings(byTime(23));
    const QVector3D zenith = zalViewerSkyRadiance(noon, QVector3D(0, 0, 1));
    EXPECT_GT(zenith.z(), 1.5f * zenith.x());
    EXPECT_GT(zenith.y(), 1000); // cd/m^2 of a clear day
    EXPECT_LT(meanSky(evening), 0.5f * meanSky(noon));
    EXPECT_LT(meanSky(night), 0.001f * meanSky(noon));
    EXPECT_GT(meanSky(night), 0);
    // At dusk the sky round the sun is warmer than the opposite side.
    const QVector3D sunSide =
        zalViewerSkyRadiance(evening, (evening.toSun + QVector3D(0, 0, 0.1f)).normalized());
    QVector3D away = -evening.toSun;
    away.setZ(0.1f);
    const QVector3D otherSide = zalViewerSkyRadiance(evening, away.normalized());
    EXPECT_GT(sunSide.x() / sunSide.z(), otherSide.x() / otherSide.z());
    EXPECT_GT(sunSide.y(), otherSide.y());
    // Below the horizon: dimmer than the horizon above it.
    EXPECT_LT(zalViewerSkyRadiance(noon, QVector3D(0, 0, -1)).y(),
              zalViewerSkyRadiance(noon, QVector3D(1, 0, 0.01f)).y());
}

} // namespace
