#include "zalViewerPathTraceSettings.h"

#include "zalViewerSettings.h"

#include <QtMath>

#include <cmath>
#include <cstring>

namespace {

int intField(const zalViewerSettings& s, const char* key, int fallback)
{
    bool ok = false;
    const int v = s.postProcess.value(QLatin1String(key)).trimmed().toInt(&ok);
    return ok ? v : fallback;
}

float realField(const zalViewerSettings& s, const char* key, float fallback)
{
    bool ok = false;
    const float v = s.postProcess.value(QLatin1String(key)).trimmed().toFloat(&ok);
    return ok && std::isfinite(v) ? v : fallback;
}

constexpr int kMaxSamples = 65536;
constexpr int kMaxBounces = 1024;

} // namespace

std::uint64_t zalViewerPathTraceSettings::seedForTime(double gameTimeSeconds)
{
    std::uint64_t bits = 0;
    const double t = gameTimeSeconds == 0.0 ? 0.0 : gameTimeSeconds; // -0 and 0 are the same time
    std::memcpy(&bits, &t, sizeof bits);
    return bits ^ 0x5A4C50545241434Bull;
}

zalViewerPathTraceOptions zalViewerPathTraceSettings::options(const zalViewerSettings& s)
{
    zalViewerPathTraceOptions o;
    o.samplesPerPixel = std::min(std::max(intField(s, "PathTracingSamplesPerPixel", 250), 1), kMaxSamples);
    o.maxBounces = std::min(std::max(intField(s, "PathTracingMaxBounces", 256), 0), kMaxBounces);
    o.emissive = intField(s, "PathTracingEnableEmissive", 1) != 0;
    o.maxPathExposure = realField(s, "PathTracingMaxPathExposure", 30.0f);
    o.denoise = intField(s, "PathTracingEnableDenoiser", 1) != 0;
    o.seed = seedForTime(s.gameTime);
    o.exposure = s.exposure > 0 ? s.exposure : 1.0f;
    o.gamma = s.gamma > 0 ? s.gamma : 1.0f;
    o.saturation = s.saturation;
    return o;
}

zalViewerPathTraceEnvironment zalViewerPathTraceSettings::environment(const zalViewerSettings& s)
{
    // Placed as the raster renderer places it: azimuth clockwise from +Y (north), elevation up.
    const float az = qDegreesToRadians(s.sunAzimuth);
    const float el = qDegreesToRadians(s.sunMode == QLatin1String("position") ? s.sunElevation : 55.0f);
    zalViewerPathTraceEnvironment e;
    e.toSun = QVector3D(std::sin(az) * std::cos(el), std::cos(az) * std::cos(el), std::sin(el)).normalized();
    e.sunOn = e.toSun.z() > 0;
    e.sunIrradiance = QVector3D(1.0f, 0.97f, 0.9f) * 3.0f;
    e.sunAngularRadiusDeg = 0.25f;
    e.sky = [](const QVector3D& d) {
        const float up = std::max(d.z(), 0.0f);
        const QVector3D horizon(0.55f, 0.6f, 0.68f), zenith(0.22f, 0.32f, 0.55f), ground(0.18f, 0.17f, 0.15f);
        if (d.z() < 0) return ground;
        return horizon + (zenith - horizon) * std::sqrt(up);
    };
    return e;
}
