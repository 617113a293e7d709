#include "zalViewerSunSkyModel.h"

#include "zalViewerSettings.h"

#include <QDate>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr float kDefaultZenithLux = 75000.0f;
// Optical depth per unit air mass of red, green and blue light (Rayleigh plus a little haze):
// what turns a low sun orange and dims it.
const QVector3D kExtinction(0.12f, 0.23f, 0.48f);

float actorNumber(const zalViewerSettings& settings, const char* property, float fallback)
{
    const auto actor = settings.actors.find(QStringLiteral("zalSunSky_C"));
    if (actor == settings.actors.end()) return fallback;
    const auto value = actor->find(QLatin1String(property));
    if (value == actor->end()) return fallback;
    bool ok = false;
    const float number = value->trimmed().toFloat(&ok);
    return ok && std::isfinite(number) ? number : fallback;
}

// Kasten and Young's air mass: 1 overhead, about 38 at the horizon, finite just below it.
double airMass(double elevationDeg)
{
    const double e = std::max(elevationDeg, -0.5);
    return 1.0 / (std::sin(e * kDeg) + 0.50572 * std::pow(e + 6.07995, -1.6364));
}

float smoothstep(float a, float b, float x)
{
    const float t = std::clamp((x - a) / (b - a), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

QVector3D mix(const QVector3D& a, const QVector3D& b, float t)
{
    return a * (1 - t) + b * t;
}

} // namespace

void zalViewerSolarPosition(int year, int month, int day, double solarHours, double latitudeDeg,
                            double& azimuthDeg, double& elevationDeg)
{
    QDate date(year, month, day);
    if (!date.isValid()) date = QDate(2000, std::clamp(month, 1, 12), 1);
    if (!date.isValid()) date = QDate(2000, 6, 21);
    const double dayOfYear = date.dayOfYear();
    // Cooper's declination; good to a degree, plenty for lighting.
    const double declination = 23.44 * kDeg * std::sin(2 * kPi * (284 + dayOfYear) / 365.0);
    const double hourAngle = (solarHours - 12.0) * 15.0 * kDeg; // positive after noon, sun in the west
    const double lat = std::clamp(latitudeDeg, -90.0, 90.0) * kDeg;
    const double east = -std::cos(declination) * std::sin(hourAngle);
    const double north =
        std::sin(declination) * std::cos(lat) - std::cos(declination) * std::cos(hourAngle) * std::sin(lat);
    const double up =
        std::sin(declination) * std::sin(lat) + std::cos(declination) * std::cos(hourAngle) * std::cos(lat);
    elevationDeg = std::asin(std::clamp(up, -1.0, 1.0)) / kDeg;
    azimuthDeg = std::atan2(east, north) / kDeg;
    if (azimuthDeg < 0) azimuthDeg += 360.0;
}

QVector3D zalViewerDirection(double azimuthDeg, double elevationDeg, double northOffsetDeg)
{
    // The north offset turns the compass from the engine's +X; undoing the host's X mirror makes
    // north (-cos, sin), which is +Y at the host's default offset of 90.
    const double o = northOffsetDeg * kDeg;
    const QVector3D north(float(-std::cos(o)), float(std::sin(o)), 0.0f);
    const QVector3D east = QVector3D::crossProduct(north, QVector3D(0, 0, 1));
    const double a = azimuthDeg * kDeg, e = elevationDeg * kDeg;
    const QVector3D d = (north * float(std::cos(a)) + east * float(std::sin(a))) * float(std::cos(e)) +
                        QVector3D(0, 0, float(std::sin(e)));
    return d.normalized();
}

zalViewerSunState zalViewerSunFromSettings(const zalViewerSettings& settings)
{
    zalViewerSunState sun;
    double azimuth = 0, elevation = 55;
    if (settings.sunMode == QLatin1String("position")) {
        azimuth = settings.sunAzimuth;
        elevation = settings.sunElevation;
    } else if (settings.sunMode == QLatin1String("time")) {
        // To the minute: the seconds the host adds move the sun by a few thousandths of a degree,
        // and dropping them keeps the frames of one scene identical whenever they are drawn.
        const double minutes = std::floor(double(settings.sunSolarTime) * 60.0 + 1e-3);
        zalViewerSolarPosition(settings.sunYear, settings.sunMonth, settings.sunDay, minutes / 60.0,
                               settings.sunLatitude, azimuth, elevation);
    } else {
        azimuth = 135; // an unset sun stands high in the south-east, as a default daylight
    }
    if (!std::isfinite(azimuth)) azimuth = 0;
    if (!std::isfinite(elevation)) elevation = 55;
    elevation = std::clamp(elevation, -90.0, 90.0);
    const double northOffset = settings.sunMode.isEmpty() ? 90.0 : double(settings.sunNorthOffset);
    sun.toSun = zalViewerDirection(azimuth, elevation, northOffset);
    sun.elevationDeg = float(elevation);
    sun.azimuthDeg = float(azimuth);

    const float sourceAngle = actorNumber(settings, "SunSourceAngle", 0.5f);
    sun.angularRadiusDeg = std::clamp(sourceAngle, 0.05f, 20.0f) * 0.5f;
    const float multiplier = std::max(actorNumber(settings, "IntensityMultiplier", 1.0f), 0.0f);
    const float zenithLux = std::max(actorNumber(settings, "SunIntensity", kDefaultZenithLux), 0.0f);
    sun.skyScale = multiplier * zenithLux / kDefaultZenithLux;

    // Through the atmosphere: per-channel transmittance relative to overhead.
    const float extra = float(airMass(elevation) - 1.0);
    const QVector3D t(std::exp(-kExtinction.x() * extra), std::exp(-kExtinction.y() * extra),
                      std::exp(-kExtinction.z() * extra));
    const float largest = std::max({t.x(), t.y(), t.z(), 1e-6f});
    sun.colour = t / largest;
    const float luminance = 0.2126f * t.x() + 0.7152f * t.y() + 0.0722f * t.z();
    // The disc sets behind the horizon over its own diameter.
    const float visible = smoothstep(-sun.angularRadiusDeg, sun.angularRadiusDeg, float(elevation));
    sun.aboveHorizon = visible > 0;
    sun.illuminanceLux = zenithLux * multiplier * luminance * visible;
    return sun;
}

QVector3D zalViewerSkyRadiance(const zalViewerSunState& sun, const QVector3D& dir)
{
    const float el = sun.elevationDeg;
    const float up = std::clamp(dir.z(), -1.0f, 1.0f);
    const float sky = std::max(up, 0.0f);

    // Brightness of the sky overhead: full day from ~25 degrees, falling through sunset and
    // civil twilight to a dark night at -12.
    const float daylight = std::pow(std::max(float(std::sin(std::max(el, 0.0f) * kDeg)), 0.0f), 0.7f);
    const float twilight = smoothstep(-12.0f, 4.0f, el);
    const float zenithNits = sun.skyScale * (7000.0f * daylight + 250.0f * twilight * twilight) + 0.02f;

    const QVector3D dayZenith(0.16f, 0.34f, 1.0f);
    const QVector3D dayHorizon(0.55f, 0.70f, 1.0f);
    const QVector3D duskZenith(0.22f, 0.28f, 0.55f);
    const float cosToSun = QVector3D::dotProduct(dir, sun.toSun);
    // At dusk the horizon glows orange towards the sun and stays a cool pink opposite it.
    const float towardsSun = std::pow((cosToSun + 1.0f) * 0.5f, 2.0f);
    const QVector3D duskHorizon =
        mix(QVector3D(0.55f, 0.50f, 0.65f), QVector3D(1.0f, 0.55f, 0.30f), towardsSun);
    const QVector3D night(0.08f, 0.10f, 0.20f);
    const float dusk = 1.0f - smoothstep(0.0f, 20.0f, el); // how far the colours have turned to dusk
    QVector3D zenith = mix(dayZenith, duskZenith, dusk);
    QVector3D horizon = mix(dayHorizon, duskHorizon, dusk);
    const float dark = 1.0f - twilight;
    zenith = mix(zenith, night, dark);
    horizon = mix(horizon, night * 1.2f, dark);

    // Brighter towards the horizon (a longer path through lit air), and round the sun.
    const float towardsHorizon = std::pow(1.0f - sky, 3.0f);
    QVector3D colour = mix(zenith, horizon * 1.4f, towardsHorizon);
    const float glow = std::exp((cosToSun - 1.0f) * 6.0f) * (0.6f + 1.4f * dusk) * twilight;
    colour += mix(QVector3D(1.0f, 0.9f, 0.75f), QVector3D(1.0f, 0.45f, 0.12f), dusk) * glow;

    QVector3D radiance = colour * zenithNits;
    if (up < 0) {
        // A distant ground, darker the steeper one looks down.
        radiance = horizon * zenithNits * (0.35f + 0.25f * (1.0f + up));
    }
    return radiance;
}
