#include "zalViewerLook.h"

#include "zalViewerSettings.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kDaylightEv100 = 15.0f;

bool number(const zalViewerSettings& s, const char* field, float& out)
{
    const auto it = s.postProcess.find(QLatin1String(field));
    if (it == s.postProcess.end()) return false;
    QString text = it->trimmed();
    // Vector fields "(X=1.2,Y=1.2,Z=1.2,W=1.000000)": the grading is grey, X stands for all.
    if (text.startsWith(QLatin1Char('('))) {
        static const QRegularExpression x(QStringLiteral("X\\s*=\\s*([-+0-9.eE]+)"));
        const QRegularExpressionMatch m = x.match(text);
        if (!m.hasMatch()) return false;
        text = m.captured(1);
    }
    bool ok = false;
    const float v = text.toFloat(&ok);
    if (!ok || !std::isfinite(v)) return false;
    out = v;
    return true;
}

float field(const zalViewerSettings& s, const char* name, float fallback)
{
    float v = fallback;
    number(s, name, v);
    return v;
}

} // namespace

float zalViewerGroundIlluminance(const zalViewerSunState& sun)
{
    const float direct = sun.illuminanceLux * std::max(sun.toSun.z(), 0.0f);
    // Sky irradiance on the ground: pi times its cosine-weighted mean luminance, estimated from a
    // ring of directions at 30 degrees and the zenith.
    float sum = 0;
    for (int i = 0; i < 8; ++i) {
        const float a = float(i) * 0.785398f;
        const QVector3D d(0.866f * std::cos(a), 0.866f * std::sin(a), 0.5f);
        const QVector3D r = zalViewerSkyRadiance(sun, d);
        sum += 0.2126f * r.x() + 0.7152f * r.y() + 0.0722f * r.z();
    }
    const QVector3D z = zalViewerSkyRadiance(sun, QVector3D(0, 0, 1));
    const float mean = (sum / 8 + 0.2126f * z.x() + 0.7152f * z.y() + 0.0722f * z.z()) * 0.5f;
    return direct + 3.14159265f * mean;
}

zalViewerLook zalViewerLookFromSettings(const zalViewerSettings& s, float sceneIlluminanceLux)
{
    zalViewerLook look;
    const QString method = s.postProcess.value(QStringLiteral("AutoExposureMethod")).trimmed();
    look.autoExposure = method != QLatin1String("AEM_Manual");
    // The host's default bias is 1; a bias of 0 is the camera's own exposure.
    look.exposureBias = std::clamp(field(s, "AutoExposureBias", 0), -15.0f, 15.0f);
    float ev = kDaylightEv100;
    if (look.autoExposure) {
        // An incident-light meter reading (calibration 250 at ISO 100); the camera follows it a
        // quarter of the way from daylight and by two stops at most, so dusk and night still look
        // darker than day.
        const float metered = std::log2(std::max(sceneIlluminanceLux, 1e-3f) / 2.5f);
        ev = kDaylightEv100 - std::clamp(0.25f * (kDaylightEv100 - metered), -2.0f, 2.0f);
    }
    ev -= look.exposureBias;
    if (s.toneMapperSet && s.exposure > 0 && std::isfinite(s.exposure)) ev -= std::log2(s.exposure);
    look.ev100 = ev;

    const float bloom = field(s, "BloomIntensity", 0);
    look.bloom = bloom > 0;
    look.bloomStrength = std::clamp(bloom * 0.15f, 0.0f, 1.0f);
    look.bloomThreshold = field(s, "BloomThreshold", -1) >= 0;

    look.aoIntensity = std::clamp(field(s, "AmbientOcclusionIntensity", 0.5f), 0.0f, 4.0f);
    look.ambientOcclusion = look.aoIntensity > 0;
    // Centimetres in the volume, metres for the renderer.
    look.aoRadiusMetres = std::clamp(field(s, "AmbientOcclusionRadius", 200) / 100.0f, 0.05f, 10.0f);
    look.aoPower = std::clamp(field(s, "AmbientOcclusionPower", 2) * 0.5f, 0.1f, 8.0f);
    look.aoBiasMetres = std::clamp(field(s, "AmbientOcclusionBias", 3) * 0.0005f / 3.0f, 0.0f, 0.01f);

    const float focus = field(s, "DepthOfFieldFocalDistance", 0);
    look.depthOfField = focus > 0;
    look.focusDistanceMetres = std::max(focus / 100.0f, 0.1f);
    look.blurScale = std::clamp(field(s, "DepthOfFieldDepthBlurAmount", 1), 0.0f, 10.0f);

    look.vignetteAmount = std::clamp(field(s, "VignetteIntensity", 0), 0.0f, 1.0f);
    look.vignette = look.vignetteAmount > 0;

    look.whiteTemperature = std::clamp((field(s, "WhiteTemp", 6500) - 6500.0f) / 6500.0f, -1.0f, 1.0f);
    look.whiteTint = std::clamp(field(s, "WhiteTint", 0), -1.0f, 1.0f);
    look.contrast = std::clamp(field(s, "ColorContrast", 1), 0.0f, 2.0f);
    look.saturation = std::clamp(field(s, "ColorSaturation", 1), 0.0f, 2.0f);
    look.gamma = std::clamp(field(s, "ColorGamma", 1), 0.1f, 4.0f);
    look.gain = std::clamp(field(s, "ColorGain", 1), 0.0f, 4.0f);
    if (s.toneMapperSet) {
        if (s.contrast > 0 && std::isfinite(s.contrast))
            look.contrast = std::clamp(look.contrast * s.contrast, 0.0f, 2.0f);
        if (s.saturation >= 0 && std::isfinite(s.saturation))
            look.saturation = std::clamp(look.saturation * s.saturation, 0.0f, 2.0f);
        if (s.gamma > 0 && std::isfinite(s.gamma)) look.gamma = std::clamp(look.gamma * s.gamma, 0.1f, 4.0f);
    }

    // The module fills the reflection bounces from the preset unless the scene overrides them.
    look.quality = std::clamp(int(std::lround(field(s, "RayTracingReflectionsMaxBounces", 1))), 0, 3);
    static const int mapSizes[] = {1024, 2048, 2048, 4096};
    static const int cascades[] = {1, 2, 3, 4};
    look.shadowMapSize = mapSizes[look.quality];
    look.shadowCascades = cascades[look.quality];
    look.aoQuality = look.quality;
    look.fxaa = look.quality >= 1;
    look.msaaSamples = look.quality >= 3 ? 4 : 1;
    return look;
}
