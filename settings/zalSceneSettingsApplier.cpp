// Scene settings to viewer commands: the applier that computes the command sequence.
#include "settings/zalSceneSettingsApplier.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace {

// Seventeen runs joined by ","; 4404 characters.
const char kPostProcessTemplate[] =
    "bOverride_ReflectionMethod=1,ReflectionMethod=%40,bOverride_DynamicGlobalIlluminationMethod=1,"
    "DynamicGlobalIlluminationMethod=%42,"
    "bOverride_RayTracingReflectionsSamplesPerPixel=1,bOverride_RayTracingReflectionsMaxBounces=1,bOverride_"
    "RayTracingReflectionsShadows=1,RayTracingReflectionsMaxBounces=%1,RayTracingReflectionsShadows=%2,"
    "bOverride_RayTracingGI=1,bOverride_RayTracingGIMaxBounces=1,bOverride_RayTracingGISamplesPerPixel=1,"
    "RayTracingGIType=%44,RayTracingGIMaxBounces=%3,RayTracingGISamplesPerPixel=%4,"
    "bOverride_RayTracingAO=1,bOverride_RayTracingAOSamplesPerPixel=1,bOverride_RayTracingAOIntensity=1,"
    "bOverride_RayTracingAORadius=1,bOverride_AmbientOcclusionIntensity=1,bOverride_AmbientOcclusionRadius=1,"
    "RayTracingAO=%43,RayTracingAOSamplesPerPixel=%5,RayTracingAOIntensity=%9,RayTracingAORadius=%10,"
    "AmbientOcclusionIntensity=%9,AmbientOcclusionRadius=%10,"
    "bOverride_TranslucencyType=1,bOverride_RayTracingTranslucencyRefractionRays=1,bOverride_"
    "RayTracingTranslucencySamplesPerPixel=1,bOverride_RayTracingTranslucencyShadows=1,TranslucencyType=%41,"
    "RayTracingTranslucencyRefractionRays=%6,RayTracingTranslucencySamplesPerPixel=%7,"
    "RayTracingTranslucencyShadows=%8,"
    "bOverride_LumenFinalGatherQuality=1,bOverride_IndirectLightingIntensity=1,bOverride_"
    "LumenReflectionQuality=1,IndirectLightingIntensity=%11,LumenFinalGatherQuality=%12,"
    "LumenReflectionQuality=%13,"
    "bOverride_WhiteTemp=1,WhiteTemp=%14,bOverride_AutoExposureMethod=1,bOverride_AutoExposureBias=1,"
    "AutoExposureMethod=%15,AutoExposureBias=%16,"
    "bOverride_DepthOfFieldFocalDistance=1,bOverride_DepthOfFieldDepthBlurAmount=1,bOverride_"
    "DepthOfFieldDepthBlurRadius=1,DepthOfFieldFocalDistance=%17,DepthOfFieldDepthBlurAmount=%18,"
    "DepthOfFieldDepthBlurRadius=%58,"
    "bOverride_MotionBlurAmount=1,bOverride_MotionBlurTargetFPS=1,MotionBlurAmount=%19,MotionBlurTargetFPS=%"
    "20,"
    "bOverride_ColorGain=1,bOverride_ColorGainShadows=1,bOverride_ColorGainMidtones=1,bOverride_"
    "ColorGainHighlights=1,ColorGain=(X=%21,Y=%21,Z=%21,W=1.000000),ColorGainShadows=(X=%22,Y=%22,Z=%22,W=1."
    "000000),ColorGainMidtones=(X=%23,Y=%23,Z=%23,W=1.000000),ColorGainHighlights=(X=%24,Y=%24,Z=%24,W=1."
    "000000),"
    "bOverride_ColorContrast=1,bOverride_ColorContrastShadows=1,bOverride_ColorContrastMidtones=1,bOverride_"
    "ColorContrastHighlights=1,ColorContrast=(X=%25,Y=%25,Z=%25,W=1.000000),ColorContrastShadows=(X=%26,Y=%"
    "26,Z=%26,W=1.000000),ColorContrastMidtones=(X=%27,Y=%27,Z=%27,W=1.000000),ColorContrastHighlights=(X=%"
    "28,Y=%28,Z=%28,W=1.000000),"
    "bOverride_ColorSaturation=1,bOverride_ColorSaturationShadows=1,bOverride_ColorSaturationMidtones=1,"
    "bOverride_ColorSaturationHighlights=1,ColorSaturation=(X=%29,Y=%29,Z=%29,W=1.000000),"
    "ColorSaturationShadows=(X=%30,Y=%30,Z=%30,W=1.000000),ColorSaturationMidtones=(X=%31,Y=%31,Z=%31,W=1."
    "000000),ColorSaturationHighlights=(X=%32,Y=%32,Z=%32,W=1.000000),"
    "bOverride_ColorGamma=1,bOverride_ColorGammaShadows=1,bOverride_ColorGammaMidtones=1,bOverride_"
    "ColorGammaHighlights=1,ColorGamma=(X=%33,Y=%33,Z=%33,W=1.000000),ColorGammaShadows=(X=%34,Y=%34,Z=%34,W="
    "1.000000),ColorGammaMidtones=(X=%35,Y=%35,Z=%35,W=1.000000),ColorGammaHighlights=(X=%36,Y=%36,Z=%36,W=1."
    "000000),"
    "bOverride_PathTracingFilterWidth=1,bOverride_PathTracingMaxBounces=1,bOverride_"
    "PathTracingSamplesPerPixel=1,bOverride_PathTracingEnableEmissive=1,bOverride_PathTracingMaxPathExposure="
    "1,bOverride_PathTracingEnableReferenceDOF=0,bOverride_PathTracingEnableDenoiser=1,"
    "PathTracingFilterWidth=%37,PathTracingMaxBounces=%38,PathTracingSamplesPerPixel=%39,"
    "PathTracingEnableEmissive=%59,PathTracingMaxPathExposure=%60,PathTracingEnableReferenceDOF=%61,"
    "PathTracingEnableDenoiser=%62,"
    "bOverride_AmbientOcclusionBias=1,bOverride_AmbientOcclusionFadeDistance=1,bOverride_"
    "AmbientOcclusionFadeRadius=1,bOverride_AmbientOcclusionMipBlend=1,bOverride_AmbientOcclusionPower=1,"
    "bOverride_AmbientOcclusionMipScale=1,bOverride_AmbientOcclusionMipThreshold=1,bOverride_"
    "AmbientOcclusionQuality=1,bOverride_AmbientOcclusionStaticFraction=1,"
    "AmbientOcclusionPower=%45,AmbientOcclusionQuality=%46,AmbientOcclusionBias=%47,"
    "AmbientOcclusionFadeDistance=%48,AmbientOcclusionFadeRadius=%49,AmbientOcclusionMipBlend=%50,"
    "AmbientOcclusionMipScale=%51,AmbientOcclusionMipThreshold=%52,AmbientOcclusionStaticFraction=%53,"
    "bOverride_BloomMethod=True,bOverride_BloomIntensity = True,bOverride_BloomThreshold = "
    "True,bOverride_BloomSizeScale = True,BloomMethod = %54,BloomIntensity = %55,BloomThreshold = "
    "%56,BloomSizeScale = %57";

QString flag01(const QVariant& value)
{
    return value.toInt() == 0 ? QStringLiteral("0") : QStringLiteral("1");
}

// "RayTraced" for 1, "Lumen" for anything else (ScreenSpace never reaches here, see step 3).
QString illuminationMethod(int mode)
{
    return mode == 1 ? QStringLiteral("RayTraced") : QStringLiteral("Lumen");
}

// names[index]; an index the list does not hold takes the last name.
QString nameAt(int index, std::initializer_list<const char*> names)
{
    const int last = int(names.size()) - 1;
    return QLatin1String(names.begin()[index >= 0 && index < last ? index : last]);
}

QString autoExposureMethod(int method)
{
    return nameAt(method, {"AEM_Histogram", "AEM_Basic", "AEM_Manual"});
}

QString rayTracingGIType(int type)
{
    return nameAt(type, {"Disabled", "FinalGather", "BruteForce"});
}

zalSceneSettingsApplier::Step console(const QString& command)
{
    zalSceneSettingsApplier::Step step;
    step.command = command;
    return step;
}

// Settings come from files and panels: products and truncations must not overflow on odd values.
int product(std::initializer_list<int> factors)
{
    qint64 value = 1;
    for (int factor : factors)
        value = qBound<qint64>(INT_MIN, value * factor, INT_MAX);
    return int(value);
}

qint64 truncated(double value, qint64 low, qint64 high)
{
    if (!std::isfinite(value)) return 0;
    return qint64(qBound(double(low), std::trunc(value), double(high)));
}

// The conversion to a 64-bit integer; what the processor's conversion gives for a value it cannot
// hold (the lowest integer) instead of undefined behaviour.
qint64 toInt64(double value)
{
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!(value >= -limit && value < limit)) return std::numeric_limits<qint64>::min();
    return qint64(value);
}

} // namespace

zalSceneSettingsApplier::zalSceneSettingsApplier(Reader sessionValue, Reader sceneValue)
    : m_sessionValue(std::move(sessionValue)), m_sceneValue(std::move(sceneValue)),
      m_clock([] { return QDateTime::currentDateTime(); })
{
}

void zalSceneSettingsApplier::setProduction(bool producing, bool animation)
{
    m_producing = producing;
    m_producingAnimation = animation;
}

void zalSceneSettingsApplier::setTessellationSupport(std::function<bool()> supportTessellation)
{
    m_supportTessellation = std::move(supportTessellation);
}

void zalSceneSettingsApplier::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

const QString& zalSceneSettingsApplier::postProcessTemplate()
{
    static const QString text = QString::fromLatin1(kPostProcessTemplate);
    return text;
}

QString zalSceneSettingsApplier::fillSlots(const QString& text, const QStringList& values)
{
    QString out;
    out.reserve(text.size() * 2);
    const int count = text.size();
    for (int i = 0; i < count; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('%') || i + 1 >= count || !text.at(i + 1).isDigit()) {
            out += c;
            continue;
        }
        // Two digits when they name a slot, so "%40" is slot 40 and not slot 4 followed by "0".
        int slot = text.at(i + 1).digitValue();
        int length = 1;
        if (i + 2 < count && text.at(i + 2).isDigit()) {
            const int twoDigits = slot * 10 + text.at(i + 2).digitValue();
            if (twoDigits >= 1 && twoDigits <= values.size()) {
                slot = twoDigits;
                length = 2;
            }
        }
        if (slot >= 1 && slot <= values.size()) {
            out += values.at(slot - 1);
            i += length;
        } else {
            out += c;
        }
    }
    return out;
}

QString zalSceneSettingsApplier::real(double value)
{
    // Qt rounds its shortest digits again (100000.5 would become 100001) and drops the sign of
    // negative zero, so finite values go through the C library's formatting; to_chars is printf's
    // "%g" without the process locale. Non-finite values keep Qt's spelling: printf would write
    // "-nan" for 0/0 on this machine.
    if (!std::isfinite(value)) return QString::number(value, 'g', 6);
    char buffer[32];
    const std::to_chars_result written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return QString::fromLatin1(buffer, int(written.ptr - buffer));
}

QString zalSceneSettingsApplier::realFloat(double value)
{
    return real(double(float(value)));
}

QVariant zalSceneSettingsApplier::scene(const char* key, const QVariant& defaultValue) const
{
    return m_sceneValue ? m_sceneValue(QString::fromLatin1(key), defaultValue) : defaultValue;
}

QVariant zalSceneSettingsApplier::session(const char* key, const QVariant& defaultValue) const
{
    return m_sessionValue ? m_sessionValue(QString::fromLatin1(key), defaultValue) : defaultValue;
}

void zalSceneSettingsApplier::placeSun(QVector<Step>& steps) const
{
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTime();
    QDateTime date =
        session("Sun/Environment/SunDateTime", QDateTime(now.date(), QTime(11, 0, 0, 0))).toDateTime();
    const double azimuth = session("Sun/Environment/SunAzimut", 0.0).toDouble();
    const double elevation = session("Sun/Environment/SunElevation", 65.0).toDouble();
    const int mode = session("Sun/Environment/SunMode", 0).toInt();
    const float intensity = float(session("Sun/Environment/SunIntensity", 1.0).toDouble());
    const float discPower = float(session("Sun/Environment/SunDiscPower", 75000.0).toDouble());
    const double sourceAngle = session("Sun/Environment/SunLightSourceAngle", 0.5).toDouble();
    const float north = float(session("Sun/Environment/SunNorth", 0.0).toDouble() + 90.0);
    const float longitude = float(session("Sun/Environment/SunLongitude", 12.4964).toDouble());
    const float latitude = float(session("Sun/Environment/SunLatitude", 41.9028).toDouble());

    // The sun follows the clock's seconds so that repeated runs within a minute still move it.
    if (date.isValid()) date.setTime(QTime(date.time().hour(), date.time().minute(), now.time().second(), 0));

    if (mode == 0 && date.isValid() && date.date().year() > 1000) {
        const QString prefix = QStringLiteral("Set zalSunSky_C ");
        steps << console(prefix + "SunLongitude " + real(longitude));
        steps << console(prefix + "SunLatitude " + real(latitude));
        steps << console(prefix + "SunNorthOffset " + real(north));
        steps << console(prefix + "SunDateYear " + QString::number(date.date().year()));
        steps << console(prefix + "SunDateMonth " + QString::number(date.date().month()));
        steps << console(prefix + "SunDateDay " + QString::number(date.date().day()));
        const QTime time = date.time();
        double solarTime = time.hour() + (time.minute() + time.second() / 60.0) / 60.0;
        if (!(solarTime > 0)) solarTime = 0;
        steps << console(prefix + "SunSolarTime " + real(solarTime));
    } else {
        Step step;
        step.kind = Step::SunByPosition;
        step.northOffset = int(truncated(north, INT_MIN, INT_MAX));
        step.azimuth = float(azimuth);
        step.elevation = float(elevation);
        steps << step;
    }
    steps << console("Set zalSunSky_C SunSourceAngle " + real(sourceAngle));
    // The panel's "SunIntensity" scales the actor; its disc power is the actor's SunIntensity.
    steps << console("Set zalSunSky_C IntensityMultiplier " + real(intensity));
    steps << console("Set zalSunSky_C SunIntensity " + real(discPower));
}

zalSceneSettingsApplier::Result zalSceneSettingsApplier::run(Remembered& remembered) const
{
    Result result;
    QVector<Step>& steps = result.steps;
    steps << console(QStringLiteral("spawneruseinstances 1"));

    // ScreenSpace and Raster (stored 0) are offered by the panel but not used by this viewer.
    int reflectionsMode = scene("RenderSettings/ReflectionsMode", 1).toInt();
    if (reflectionsMode == 0) reflectionsMode = 2;
    int giMode = scene("RenderSettings/GIMode", 2).toInt();
    if (giMode == 0) giMode = 2;
    int translucencyMode = scene("RenderSettings/TranslucencyMode", 1).toInt();
    if (translucencyMode == 0) translucencyMode = 1;
    const int giType = scene("RenderSettings/RayTracingGIType", 0).toInt();
    const QVariant rayTracingAO = scene("RenderSettings/RaytracingAO", 0);

    placeSun(steps);

    const int q = scene("RenderSettings/RTQuality", 1).toInt();
    const float fadeThreshold = float(session("ToneMapper/ShadowsFadeThreshold", 1.27324).toDouble());

    int samplesPerPixel = scene("RenderSettings/PT_SamplesPerPixel", 250).toInt();
    int pathTracing = scene("RenderSettings/EnablePathTracing", 0).toInt();
    if (m_producing) {
        const char* iterationsKey =
            m_producingAnimation ? "AnimationProduction/MaxIterations" : "ImageProduction/MaxIterations";
        const char* pathTracingKey = m_producingAnimation ? "AnimationProduction/EnablePathTracing"
                                                          : "ImageProduction/EnablePathTracing";
        samplesPerPixel = scene(iterationsKey, samplesPerPixel).toInt();
        pathTracing = scene(pathTracingKey, pathTracing).toInt();
    }

    QStringList values;
    values.reserve(62);
    const QString shadowType = scene("ToneMapper/ReflShadowType", 0).toInt() == 0
                                   ? QStringLiteral("Hard_shadows")
                                   : QStringLiteral("Soft_shadows");
    const double aoIntensity = scene("ToneMapper/AmbientOcclusionIntensity", 1.0).toDouble();
    const bool depthOfField = scene("Camera/DepthOfFieldEnaled", false).toBool();
    const double focalDistance = scene("Camera/DepthOfFieldFocalDistance", 0.0).toDouble();
    const bool motionBlur = scene("Camera/MotionBlurEnabled", false).toBool();
    const bool bloom = scene("Camera/BloomEnabled", false).toBool();

    values << QString::number(scene("RenderSettings/RayTracingReflectionsMaxBounces", q).toInt()); // 1
    values << shadowType;                                                                          // 2
    values << QString::number(scene("RenderSettings/RayTracingGIMaxBounces", q).toInt());          // 3
    values << QString::number(
        scene("RenderSettings/RayTracingGISamplesPerPixel", product({8, q})).toInt()); // 4
    values << QString::number(
        scene("RenderSettings/RayTracingAOSamplesPerPixel", product({4, q})).toInt()); // 5
    values << QString::number(scene("RenderSettings/RayTracingTranslucencyRefractionRays",
                                    qBound<qint64>(INT_MIN, qint64(4) * q + 4, INT_MAX))
                                  .toInt()); // 6
    values << QString::number(
        scene("RenderSettings/RayTracingTranslucencySamplesPerPixel", product({4, q})).toInt()); // 7
    values << shadowType;                                                                        // 8
    values << real(aoIntensity);                                                                 // 9
    values << real(scene("ToneMapper/AmbientOcclusionRadius", 200.0).toDouble());                // 10
    values << real(1.0 / aoIntensity);                                                           // 11
    values << real(scene("ToneMapper/FinalGatherQuality", 1.0).toDouble());                      // 12
    values << real(scene("ToneMapper/ReflectionsQuality", 1.0).toDouble());                      // 13
    values << real(scene("Camera/WhiteTemp", 6500.0).toDouble());                                // 14
    values << autoExposureMethod(scene("Camera/AutoExposureMethod", 0).toInt());                 // 15
    values << real(scene("Camera/AutoExposureBias", 1.0).toDouble());                            // 16
    values << real(depthOfField ? focalDistance : 0.0);                                          // 17
    values << real(scene("Camera/DepthOfFieldDepthBlurAmount", 1.0).toDouble());                 // 18
    values << real(motionBlur ? scene("Camera/MotionBlurAmount", 0.5).toDouble() : 0.0);         // 19
    values << QString::number(scene("Camera/MotionBlurTargetFPS", 30).toInt());                  // 20
    for (const char* key :
         {"ToneMapper/Brightness", "ToneMapper/ShadowBrightness", "ToneMapper/MidBrightness",
          "ToneMapper/HghlBrightness", "ToneMapper/Contrast", "ToneMapper/ShadowContrast",
          "ToneMapper/MidContrast", "ToneMapper/HghlContrast", "ToneMapper/Saturation",
          "ToneMapper/ShadowSaturation", "ToneMapper/MidSaturation", "ToneMapper/HghlSaturation",
          "ToneMapper/Gamma", "ToneMapper/ShadowGamma", "ToneMapper/MidGamma", "ToneMapper/HghlGamma"})
        values << real(scene(key, 1.0).toDouble());                             // 21 to 36
    values << real(scene("RenderSettings/PT_AntialiasFilter", 3.0).toDouble()); // 37
    values << QString::number(product({scene("RenderSettings/PT_MaxBounces", 16).toInt(), q, 16})); // 38
    values << QString::number(samplesPerPixel);                                                     // 39
    values << illuminationMethod(reflectionsMode);                                                  // 40
    values << (translucencyMode != 0 ? QStringLiteral("Raytracing") : QStringLiteral("Raster"));    // 41
    values << illuminationMethod(giMode);                                                           // 42
    values << flag01(rayTracingAO);                                                                 // 43
    values << rayTracingGIType(giType);                                                             // 44
    values << real(scene("ToneMapper/AmbientOcclusionPower", 2.0).toDouble());                      // 45
    values << real(scene("ToneMapper/AmbientOcclusionQuality", 50.0).toDouble());                   // 46
    values << real(scene("ToneMapper/AmbientOcclusionBias", 3.0).toDouble());                       // 47
    values << real(scene("ToneMapper/AmbientOcclusionFadeDistance", 8000.0).toDouble());            // 48
    values << real(scene("ToneMapper/AmbientOcclusionFadeRadius", 5000.0).toDouble());              // 49
    values << real(scene("ToneMapper/AmbientOcclusionMipBlend", 0.6).toDouble());                   // 50
    values << real(scene("ToneMapper/AmbientOcclusionMipScale", 1.7).toDouble());                   // 51
    values << real(scene("ToneMapper/AmbientOcclusionMipThreshold", 0.01).toDouble());              // 52
    values << real(scene("ToneMapper/AmbientOcclusionStaticFraction", 1.0).toDouble());             // 53
    values << scene("Camera/BloomMethod", QStringLiteral("BM_SOG")).toString();                     // 54
    values << real(bloom ? scene("Camera/BloomIntensity", 0.675).toDouble() : 0.0);                 // 55
    values << real(scene("Camera/BloomThreshold", -1.0).toDouble());                                // 56
    values << real(scene("Camera/BloomSizeScale", 4.0).toDouble());                                 // 57
    // No guard: a focus region of 0 gives "nan" or "inf", written as Qt writes them.
    values << real(focalDistance / scene("Camera/DepthOfFieldFocalRegion", 0.0).toDouble()); // 58
    values << flag01(scene("RenderSettings/PT_EnableEmissiveMaterials", 1));                 // 59
    values << real(scene("RenderSettings/PT_MaxPathExposure", 30.0).toDouble());             // 60
    values << QStringLiteral("1");                                                           // 61
    values << flag01(scene("RenderSettings/PT_EnableDenoiser", 1));                          // 62

    steps << console(
        QStringLiteral("Set PostProcessVolume Settings (%1)").arg(fillSlots(postProcessTemplate(), values)));

    // A Windows COLORREF: red in the low byte.
    const qint64 colour = toInt64(scene("ToneMapper/AmbientOcclusionColor", 8421504.0).toDouble());
    steps << console(QStringLiteral("setao ") + real((colour & 0xFF) / 255.0) + ";" +
                     real(((colour >> 8) & 0xFF) / 255.0) + ";" + real(((colour >> 16) & 0xFF) / 255.0));

    if (m_supportTessellation && m_supportTessellation() && q != remembered.rtQuality) {
        remembered.rtQuality = q;
        result.refreshMaterials = m_supportTessellation();
    }

    if (pathTracing != remembered.pathTracing) {
        remembered.pathTracing = pathTracing;
        steps << console(QStringLiteral("showflag.pathtracing ") + QString::number(pathTracing));
        steps << console(QStringLiteral("r.HighResshotDelay ") +
                         QString::number(pathTracing != 0 ? product({2, samplesPerPixel}) : 1));
    }

    steps << console(QStringLiteral("r.Shadow.FadeResolution ") + real(fadeThreshold));
    return result;
}
