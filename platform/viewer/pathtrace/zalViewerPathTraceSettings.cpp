#include "zalViewerPathTraceSettings.h"

#include "zalViewerSettings.h"
#include "zalViewerSunSkyModel.h"

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
    o.autoExposure = s.postProcess.value(QStringLiteral("AutoExposureMethod"),
                                         QStringLiteral("AEM_Histogram")) != QLatin1String("AEM_Manual");
    o.exposureBias = realField(s, "AutoExposureBias", 0.0f);
    return o;
}

zalViewerPathTraceEnvironment zalViewerPathTraceSettings::environment(const zalViewerSettings& s)
{
    // The same sun and sky as the real-time renderer, but on whole minutes of solar time: the
    // module puts the wall clock's seconds into it, and within a minute the sun moves by a quarter
    // of a degree. Frames of one time then agree whichever process renders them, and when.
    zalViewerSettings minutes = s;
    minutes.sunSolarTime = float(std::floor(double(s.sunSolarTime) * 60.0 + 1e-6) / 60.0);
    const zalViewerSunState sun = zalViewerSunFromSettings(minutes);
    zalViewerPathTraceEnvironment e;
    e.toSun = sun.toSun;
    e.sunOn = sun.aboveHorizon && sun.illuminanceLux > 0;
    const float colourLuminance =
        0.2126f * sun.colour.x() + 0.7152f * sun.colour.y() + 0.0722f * sun.colour.z();
    e.sunIrradiance = sun.colour * (sun.illuminanceLux / std::max(colourLuminance, 1e-6f) *
                                    zalViewerPathTracer::kTracerUnitsPerLux);
    e.sunAngularRadiusDeg = sun.angularRadiusDeg;
    e.sky = [sun](const QVector3D& d) {
        return zalViewerSkyRadiance(sun, d) * zalViewerPathTracer::kTracerUnitsPerNit;
    };
    return e;
}
