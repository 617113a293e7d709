// The command sequence computed from scene settings, without a session or viewer: template,
// number formatting, every slot's default and conversion, sun, production and the remembered state.
#include "settings/zalSceneSettingsApplier.h"

#include "tests/common/zalSettingsTestUtil.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <limits>

using Applier = zalSceneSettingsApplier;
using namespace zalSettingsTestUtil;

namespace {

// The clock the sun reads: 2026-03-14 09:26:37 local time.
QDateTime fixedNow()
{
    return QDateTime(QDate(2026, 3, 14), QTime(9, 26, 37, 512));
}

// The two read paths of a session: its own map and the active drawing's settings.
class ApplierRun : public ::testing::Test
{
protected:
    QMap<QString, QVariant> own;
    QMap<QString, QVariant> scene;
    bool producing = false;
    bool animation = false;
    bool tessellation = false;
    Applier::Remembered remembered;
    QDateTime now = fixedNow();

    Applier::Result run()
    {
        Applier applier(reader(own), reader(scene));
        applier.setProduction(producing, animation);
        applier.setTessellationSupport([this] { return tessellation; });
        applier.setClock([this] { return now; });
        return applier.run(remembered);
    }

    // The console commands, with a sun placed by position written as "setSunByPos n a e".
    QStringList commands()
    {
        QStringList out;
        for (const Applier::Step& step : run().steps) {
            if (step.kind == Applier::Step::SunByPosition)
                out << QString("setSunByPos %1 %2 %3")
                           .arg(step.northOffset)
                           .arg(double(step.azimuth))
                           .arg(double(step.elevation));
            else
                out << step.command;
        }
        return out;
    }

    QMap<QString, QString> postProcess()
    {
        return postProcessMap(firstWithPrefix(commands(), "Set PostProcessVolume"));
    }

    static Applier::Reader reader(const QMap<QString, QVariant>& map)
    {
        return
            [&map](const QString& key, const QVariant& defaultValue) { return map.value(key, defaultValue); };
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Template and formatting

TEST(PostProcessTemplate, HasTheFixedLengthAndEverySlot)
{
    const QString& text = Applier::postProcessTemplate();
    EXPECT_EQ(text.size(), 4404);
    EXPECT_TRUE(text.startsWith("bOverride_ReflectionMethod=1,ReflectionMethod=%40,"));
    EXPECT_TRUE(text.endsWith("BloomThreshold = %56,BloomSizeScale = %57"));

    QMap<int, int> occurrences;
    QRegularExpressionMatchIterator it = QRegularExpression("%(\\d+)").globalMatch(text);
    while (it.hasNext())
        ++occurrences[it.next().captured(1).toInt()];
    EXPECT_EQ(occurrences.firstKey(), 1);
    EXPECT_EQ(occurrences.lastKey(), 62);
    EXPECT_EQ(occurrences.size(), 62);
    for (int slot = 1; slot <= 62; ++slot) {
        int expected = 1;
        if (slot == 9 || slot == 10)
            expected = 2;
        else if (slot >= 21 && slot <= 36)
            expected = 3;
        EXPECT_EQ(occurrences.value(slot), expected) << "slot " << slot;
    }
}

TEST(PostProcessTemplate, SpacesOnlyInTheBloomRun)
{
    const QString& text = Applier::postProcessTemplate();
    const int bloom = text.indexOf("bOverride_BloomMethod=True");
    ASSERT_GT(bloom, 0);
    EXPECT_FALSE(text.left(bloom).contains(' '));
    EXPECT_EQ(text.mid(bloom).count(' '), 14);
}

TEST(PostProcessTemplate, VectorEntriesRepeatOneSlot)
{
    const QString& text = Applier::postProcessTemplate();
    EXPECT_TRUE(text.contains("ColorGain=(X=%21,Y=%21,Z=%21,W=1.000000)"));
    EXPECT_TRUE(text.contains("ColorGammaHighlights=(X=%36,Y=%36,Z=%36,W=1.000000)"));
    EXPECT_EQ(text.count("W=1.000000"), 16);
}

TEST(FillSlots, FillsByNumberNotByPosition)
{
    QStringList values;
    for (int i = 1; i <= 62; ++i)
        values << QString("v%1").arg(i);
    EXPECT_EQ(Applier::fillSlots("a=%40,b=%4,c=%62,d=%1,e=%1", values), "a=v40,b=v4,c=v62,d=v1,e=v1");
}

TEST(FillSlots, ValuesAreNotFilledAgain)
{
    EXPECT_EQ(Applier::fillSlots("%1 %2", {"%2", "x"}), "%2 x");
}

TEST(FillSlots, UnknownSlotsAndLonePercentStay)
{
    EXPECT_EQ(Applier::fillSlots("%3 % %0 %", {"a", "b"}), "%3 % %0 %");
    // "%12" with two values is slot 1 followed by "2".
    EXPECT_EQ(Applier::fillSlots("%12", {"a", "b"}), "a2");
}

TEST(FillSlots, FilledTemplateHasNoSlotLeft)
{
    QStringList values;
    for (int i = 1; i <= 62; ++i)
        values << "x";
    EXPECT_FALSE(Applier::fillSlots(Applier::postProcessTemplate(), values).contains('%'));
}

TEST(RealFormat, MatchesPrintfG)
{
    const double samples[] = {0,
                              1,
                              -1,
                              0.5,
                              1.0 / 3,
                              200,
                              6500,
                              75000,
                              100000,
                              123456,
                              999999,
                              1000000,
                              1234567,
                              1e-4,
                              1.5e-4,
                              1e-5,
                              -2.5e-7,
                              3e20,
                              0.6,
                              1.7,
                              0.01,
                              128.0 / 255,
                              11.0 + 37.0 / 3600,
                              1e15,
                              65536.5,
                              -0.0,
                              100000.5,
                              9327565,
                              0.000123455,
                              2.5e-5};
    for (double value : samples) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g", value);
        EXPECT_EQ(Applier::real(value).toStdString(), std::string(buffer)) << value;
    }
}

TEST(RealFormat, HalfwayDigitsRoundToEvenAndNegativeZeroKeepsItsSign)
{
    // 100000.5 and 9327565 are exactly halfway between two six-digit results.
    EXPECT_EQ(Applier::real(100000.5), "100000");
    EXPECT_EQ(Applier::real(100001.5), "100002");
    EXPECT_EQ(Applier::real(9327565), "9.32756e+06");
    EXPECT_EQ(Applier::real(9327575), "9.32758e+06");
    EXPECT_EQ(Applier::real(-0.0), "-0");
    EXPECT_EQ(Applier::realFloat(-0.0), "-0");
}

TEST(RealFormat, NonFiniteValuesAsQtWritesThem)
{
    EXPECT_EQ(Applier::real(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(Applier::real(0.0 / std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(Applier::real(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(Applier::real(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(RealFormat, FloatValuesAreNarrowedFirst)
{
    EXPECT_EQ(Applier::realFloat(12.4964), "12.4964");
    EXPECT_EQ(Applier::realFloat(41.9028), "41.9028");
    EXPECT_EQ(Applier::realFloat(1.27324), "1.27324");
    // 16777217 is not a float: it becomes 16777216.
    EXPECT_EQ(Applier::realFloat(16777217.0), "1.67772e+07");
    EXPECT_EQ(Applier::real(16777217.0), "1.67772e+07");
    EXPECT_EQ(Applier::realFloat(0.1), "0.1");
}

TEST(RealFormat, IgnoresTheDefaultLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Applier::real(0.5), "0.5");
    EXPECT_EQ(Applier::real(1234567), "1.23457e+06");
    QLocale::setDefault(previous);
}

// ---------------------------------------------------------------------------------------------
// The sequence

TEST_F(ApplierRun, EmptyStoreGivesTheDefaultSequence)
{
    const QStringList sent = commands();
    ASSERT_EQ(sent.size(), 14) << sent.join('\n').toStdString();
    EXPECT_EQ(sent[0], "spawneruseinstances 1");
    EXPECT_EQ(sent[1], "Set zalSunSky_C SunLongitude 12.4964");
    EXPECT_EQ(sent[2], "Set zalSunSky_C SunLatitude 41.9028");
    EXPECT_EQ(sent[3], "Set zalSunSky_C SunNorthOffset 90");
    EXPECT_EQ(sent[4], "Set zalSunSky_C SunDateYear 2026");
    EXPECT_EQ(sent[5], "Set zalSunSky_C SunDateMonth 3");
    EXPECT_EQ(sent[6], "Set zalSunSky_C SunDateDay 14");
    // Today at 11:00 with the clock's 37 seconds.
    EXPECT_EQ(sent[7], "Set zalSunSky_C SunSolarTime 11.0103");
    EXPECT_EQ(sent[8], "Set zalSunSky_C SunSourceAngle 0.5");
    EXPECT_EQ(sent[9], "Set zalSunSky_C IntensityMultiplier 1");
    EXPECT_EQ(sent[10], "Set zalSunSky_C SunIntensity 75000");
    EXPECT_TRUE(sent[11].startsWith("Set PostProcessVolume Settings (bOverride_ReflectionMethod=1,"));
    EXPECT_EQ(sent[12], "setao 0.501961;0.501961;0.501961");
    EXPECT_EQ(sent[13], "r.Shadow.FadeResolution 1.27324");
    EXPECT_EQ(remembered.rtQuality, 1);
    EXPECT_EQ(remembered.pathTracing, 0);
}

TEST_F(ApplierRun, EmptyStoreFillsEverySlotWithItsDefault)
{
    const QString command = firstWithPrefix(commands(), "Set PostProcessVolume");
    // The filled text is the template with the defaults, no slot left.
    EXPECT_FALSE(command.contains('%'));
    const QMap<QString, QString> f = postProcessMap(command);
    const QMap<QString, QString> expected = {
        {"ReflectionMethod", "RayTraced"},
        {"DynamicGlobalIlluminationMethod", "Lumen"},
        {"RayTracingReflectionsMaxBounces", "1"},
        {"RayTracingReflectionsShadows", "Hard_shadows"},
        {"RayTracingGIType", "Disabled"},
        {"RayTracingGIMaxBounces", "1"},
        {"RayTracingGISamplesPerPixel", "8"},
        {"RayTracingAO", "0"},
        {"RayTracingAOSamplesPerPixel", "4"},
        {"RayTracingAOIntensity", "1"},
        {"RayTracingAORadius", "200"},
        {"AmbientOcclusionIntensity", "1"},
        {"AmbientOcclusionRadius", "200"},
        {"TranslucencyType", "Raytracing"},
        {"RayTracingTranslucencyRefractionRays", "8"},
        {"RayTracingTranslucencySamplesPerPixel", "4"},
        {"RayTracingTranslucencyShadows", "Hard_shadows"},
        {"IndirectLightingIntensity", "1"},
        {"LumenFinalGatherQuality", "1"},
        {"LumenReflectionQuality", "1"},
        {"WhiteTemp", "6500"},
        {"AutoExposureMethod", "AEM_Histogram"},
        {"AutoExposureBias", "1"},
        {"DepthOfFieldFocalDistance", "0"},
        {"DepthOfFieldDepthBlurAmount", "1"},
        {"DepthOfFieldDepthBlurRadius", "nan"},
        {"MotionBlurAmount", "0"},
        {"MotionBlurTargetFPS", "30"},
        {"ColorGain", "(X=1,Y=1,Z=1,W=1.000000)"},
        {"ColorGainShadows", "(X=1,Y=1,Z=1,W=1.000000)"},
        {"ColorContrastMidtones", "(X=1,Y=1,Z=1,W=1.000000)"},
        {"ColorSaturationHighlights", "(X=1,Y=1,Z=1,W=1.000000)"},
        {"ColorGamma", "(X=1,Y=1,Z=1,W=1.000000)"},
        {"PathTracingFilterWidth", "3"},
        {"PathTracingMaxBounces", "256"},
        {"PathTracingSamplesPerPixel", "250"},
        {"PathTracingEnableEmissive", "1"},
        {"PathTracingMaxPathExposure", "30"},
        {"PathTracingEnableReferenceDOF", "1"},
        {"PathTracingEnableDenoiser", "1"},
        {"bOverride_PathTracingEnableReferenceDOF", "0"},
        {"AmbientOcclusionPower", "2"},
        {"AmbientOcclusionQuality", "50"},
        {"AmbientOcclusionBias", "3"},
        {"AmbientOcclusionFadeDistance", "8000"},
        {"AmbientOcclusionFadeRadius", "5000"},
        {"AmbientOcclusionMipBlend", "0.6"},
        {"AmbientOcclusionMipScale", "1.7"},
        {"AmbientOcclusionMipThreshold", "0.01"},
        {"AmbientOcclusionStaticFraction", "1"},
        {"BloomMethod", "BM_SOG"},
        {"BloomIntensity", "0"},
        {"BloomThreshold", "-1"},
        {"BloomSizeScale", "4"},
    };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        EXPECT_EQ(f.value(it.key(), "<absent>").toStdString(), it.value().toStdString())
            << it.key().toStdString();
}

TEST_F(ApplierRun, SunByPositionSendsNoDateCommands)
{
    own["Sun/Environment/SunMode"] = 1;
    own["Sun/Environment/SunAzimut"] = 30;
    own["Sun/Environment/SunElevation"] = 40;
    own["Sun/Environment/SunNorth"] = 10;
    const QStringList sent = commands();
    ASSERT_GE(sent.size(), 5);
    EXPECT_EQ(firstWithPrefix(sent, "spawneruseinstances "), "spawneruseinstances 1");
    EXPECT_EQ(firstWithPrefix(sent, "setSunByPos "), "setSunByPos 100 30 40");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunSourceAngle "), "Set zalSunSky_C SunSourceAngle 0.5");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C IntensityMultiplier "),
              "Set zalSunSky_C IntensityMultiplier 1");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunIntensity "), "Set zalSunSky_C SunIntensity 75000");
    for (const char* date : {"SunLongitude", "SunLatitude", "SunNorthOffset", "SunDateYear", "SunDateMonth",
                             "SunDateDay", "SunSolarTime"})
        EXPECT_TRUE(firstWithPrefix(sent, QString("Set zalSunSky_C ") + date).isEmpty()) << date;
}

TEST_F(ApplierRun, SunNorthIsTruncatedTowardZero)
{
    own["Sun/Environment/SunMode"] = 2;
    own["Sun/Environment/SunNorth"] = -90.7; // -0.7 after the offset
    EXPECT_EQ(firstWithPrefix(commands(), "setSunByPos "), "setSunByPos 0 0 65");
    own["Sun/Environment/SunNorth"] = 1e30; // beyond int: clamped, no overflow
    EXPECT_EQ(firstWithPrefix(commands(), "setSunByPos "), "setSunByPos 2147483647 0 65");
}

TEST_F(ApplierRun, StoredDateKeepsHourAndMinuteAndTakesTheClockSeconds)
{
    own["Sun/Environment/SunDateTime"] = QDateTime(QDate(2024, 6, 1), QTime(14, 30, 45, 900));
    const QStringList sent = commands();
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunDateYear "), "Set zalSunSky_C SunDateYear 2024");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunDateMonth "), "Set zalSunSky_C SunDateMonth 6");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunDateDay "), "Set zalSunSky_C SunDateDay 1");
    // 14 + (30 + 37 / 60) / 60
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunSolarTime "), "Set zalSunSky_C SunSolarTime 14.5103");
}

TEST_F(ApplierRun, DateFromIniTextConverts)
{
    own["Sun/Environment/SunDateTime"] = QString("2023-12-24T08:05:00");
    const QStringList sent = commands();
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunDateYear "), "Set zalSunSky_C SunDateYear 2023");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunDateDay "), "Set zalSunSky_C SunDateDay 24");
}

TEST_F(ApplierRun, MidnightSolarTimeIsZeroOnlyWithoutSeconds)
{
    own["Sun/Environment/SunDateTime"] = QDateTime(QDate(2024, 6, 1), QTime(0, 0));
    EXPECT_EQ(firstWithPrefix(commands(), "Set zalSunSky_C SunSolarTime "),
              "Set zalSunSky_C SunSolarTime 0.0102778");
    now = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 0));
    EXPECT_EQ(firstWithPrefix(commands(), "Set zalSunSky_C SunSolarTime "), "Set zalSunSky_C SunSolarTime 0");
    now = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 1));
    EXPECT_EQ(firstWithPrefix(commands(), "Set zalSunSky_C SunSolarTime "),
              "Set zalSunSky_C SunSolarTime 0.000277778");
}

TEST_F(ApplierRun, YearLimitOfTheDatePath)
{
    own["Sun/Environment/SunDateTime"] = QDateTime(QDate(1001, 1, 1), QTime(12, 0));
    EXPECT_EQ(firstWithPrefix(commands(), "Set zalSunSky_C SunDateYear "),
              "Set zalSunSky_C SunDateYear 1001");
    own["Sun/Environment/SunDateTime"] = QDateTime(QDate(1000, 12, 31), QTime(12, 0));
    EXPECT_EQ(firstWithPrefix(commands(), "setSunByPos "), "setSunByPos 90 0 65");
    own["Sun/Environment/SunDateTime"] = QString("not a date");
    EXPECT_EQ(firstWithPrefix(commands(), "setSunByPos "), "setSunByPos 90 0 65");
}

TEST_F(ApplierRun, SunActorValues)
{
    own["Sun/Environment/SunIntensity"] = 2.5;
    own["Sun/Environment/SunDiscPower"] = 123456.7;
    own["Sun/Environment/SunLightSourceAngle"] = 1.25;
    own["Sun/Environment/SunLongitude"] = -3.7038;
    own["Sun/Environment/SunLatitude"] = 40.4168;
    own["Sun/Environment/SunNorth"] = -45;
    const QStringList sent = commands();
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunLongitude "), "Set zalSunSky_C SunLongitude -3.7038");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunLatitude "), "Set zalSunSky_C SunLatitude 40.4168");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunNorthOffset "), "Set zalSunSky_C SunNorthOffset 45");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunSourceAngle "),
              "Set zalSunSky_C SunSourceAngle 1.25");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C IntensityMultiplier "),
              "Set zalSunSky_C IntensityMultiplier 2.5");
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunIntensity "), "Set zalSunSky_C SunIntensity 123457");
}

TEST_F(ApplierRun, EachKeyIsReadOnItsOwnPath)
{
    // Sun keys and the fade threshold from the session's own map only ...
    scene["Sun/Environment/SunMode"] = 1;
    scene["ToneMapper/ShadowsFadeThreshold"] = 64;
    // ... everything else from the active drawing's settings only.
    own["ToneMapper/Gamma"] = 2.2;
    own["RenderSettings/EnablePathTracing"] = 1;
    QStringList sent = commands();
    EXPECT_EQ(firstWithPrefix(sent, "Set zalSunSky_C SunLongitude "), "Set zalSunSky_C SunLongitude 12.4964");
    EXPECT_EQ(firstWithPrefix(sent, "r.Shadow.FadeResolution "), "r.Shadow.FadeResolution 1.27324");
    EXPECT_EQ(postProcessMap(firstWithPrefix(sent, "Set PostProcessVolume Settings")).value("ColorGamma"),
              "(X=1,Y=1,Z=1,W=1.000000)");
    EXPECT_TRUE(firstWithPrefix(sent, "showflag.pathtracing").isEmpty());

    own["ToneMapper/ShadowsFadeThreshold"] = 64;
    scene["ToneMapper/Gamma"] = 2.2;
    sent = commands();
    EXPECT_EQ(firstWithPrefix(sent, "r.Shadow.FadeResolution "), "r.Shadow.FadeResolution 64");
    EXPECT_EQ(postProcessMap(firstWithPrefix(sent, "Set PostProcessVolume Settings")).value("ColorGamma"),
              "(X=2.2,Y=2.2,Z=2.2,W=1.000000)");
}

TEST_F(ApplierRun, AmbientOcclusionColourIsRedGreenBlue)
{
    scene["ToneMapper/AmbientOcclusionColor"] = 255;
    EXPECT_EQ(firstWithPrefix(commands(), "setao "), "setao 1;0;0");
    scene["ToneMapper/AmbientOcclusionColor"] = 0x00FF00;
    EXPECT_EQ(firstWithPrefix(commands(), "setao "), "setao 0;1;0");
    scene["ToneMapper/AmbientOcclusionColor"] = QString("16711680"); // 0xFF0000, as an INI gives it
    EXPECT_EQ(firstWithPrefix(commands(), "setao "), "setao 0;0;1");
    scene["ToneMapper/AmbientOcclusionColor"] = 0x123456;
    EXPECT_EQ(firstWithPrefix(commands(), "setao "), "setao 0.337255;0.203922;0.0705882");
    scene["ToneMapper/AmbientOcclusionColor"] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(firstWithPrefix(commands(), "setao "), "setao 0;0;0");
    // Beyond 2^53 the whole 64-bit integer counts: 2^53 + 254 keeps its low byte.
    scene["ToneMapper/AmbientOcclusionColor"] = 9007199254741246.0;
    EXPECT_EQ(firstWithPrefix(commands(), "setao "), "setao 0.996078;0;0");
    scene["ToneMapper/AmbientOcclusionColor"] =
        1099511693312.0; // 2^40 + 0x010000: blue 1, the bit above the colour ignored
    EXPECT_EQ(firstWithPrefix(commands(), "setao "), "setao 0;0;0.00392157");
    scene["ToneMapper/AmbientOcclusionColor"] = -1.0; // all bits set
    EXPECT_EQ(firstWithPrefix(commands(), "setao "), "setao 1;1;1");
}

TEST_F(ApplierRun, PathTracingPairOnlyWhenTheSwitchChanges)
{
    scene["RenderSettings/EnablePathTracing"] = 1;
    QStringList sent = commands();
    ASSERT_EQ(sent.size(), 16);
    EXPECT_EQ(firstWithPrefix(sent, "setao "), "setao 0.501961;0.501961;0.501961");
    EXPECT_EQ(firstWithPrefix(sent, "showflag.pathtracing "), "showflag.pathtracing 1");
    EXPECT_EQ(firstWithPrefix(sent, "r.HighResshotDelay "), "r.HighResshotDelay 500");
    EXPECT_EQ(firstWithPrefix(sent, "r.Shadow.FadeResolution "), "r.Shadow.FadeResolution 1.27324");
    EXPECT_EQ(remembered.pathTracing, 1);

    EXPECT_EQ(commands().size(), 14);

    scene["RenderSettings/EnablePathTracing"] = 0;
    sent = commands();
    ASSERT_EQ(sent.size(), 16);
    EXPECT_EQ(firstWithPrefix(sent, "showflag.pathtracing "), "showflag.pathtracing 0");
    EXPECT_EQ(firstWithPrefix(sent, "r.HighResshotDelay "), "r.HighResshotDelay 1");
    EXPECT_EQ(remembered.pathTracing, 0);
}

TEST_F(ApplierRun, PathTracingValueIsSentAsStored)
{
    scene["RenderSettings/EnablePathTracing"] = 2;
    scene["RenderSettings/PT_SamplesPerPixel"] = 32;
    const QStringList sent = commands();
    EXPECT_EQ(firstWithPrefix(sent, "showflag.pathtracing "), "showflag.pathtracing 2");
    EXPECT_EQ(firstWithPrefix(sent, "r.HighResshotDelay "), "r.HighResshotDelay 64");
}

TEST_F(ApplierRun, AnimationProductionReplacesSamplesAndDelay)
{
    scene["RenderSettings/PT_SamplesPerPixel"] = 250;
    scene["AnimationProduction/MaxIterations"] = 64;
    scene["AnimationProduction/EnablePathTracing"] = 1;
    scene["ImageProduction/MaxIterations"] = 900;
    scene["ImageProduction/EnablePathTracing"] = 0;
    producing = true;
    animation = true;
    const QStringList sent = commands();
    EXPECT_EQ(postProcessMap(firstWithPrefix(sent, "Set PostProcessVolume Settings"))
                  .value("PathTracingSamplesPerPixel"),
              "64");
    EXPECT_EQ(firstWithPrefix(sent, "showflag.pathtracing "), "showflag.pathtracing 1");
    EXPECT_EQ(firstWithPrefix(sent, "r.HighResshotDelay "), "r.HighResshotDelay 128");
}

TEST_F(ApplierRun, ImageProductionUsesTheImageKeys)
{
    scene["AnimationProduction/MaxIterations"] = 64;
    scene["ImageProduction/MaxIterations"] = 900;
    scene["ImageProduction/EnablePathTracing"] = 1;
    producing = true;
    const QStringList sent = commands();
    EXPECT_EQ(postProcessMap(firstWithPrefix(sent, "Set PostProcessVolume Settings"))
                  .value("PathTracingSamplesPerPixel"),
              "900");
    EXPECT_EQ(firstWithPrefix(sent, "r.HighResshotDelay "), "r.HighResshotDelay 1800");
}

TEST_F(ApplierRun, ProductionKeysDefaultToTheNormalValues)
{
    scene["RenderSettings/PT_SamplesPerPixel"] = 40;
    scene["RenderSettings/EnablePathTracing"] = 1;
    producing = true;
    animation = true;
    const QStringList sent = commands();
    EXPECT_EQ(postProcessMap(firstWithPrefix(sent, "Set PostProcessVolume Settings"))
                  .value("PathTracingSamplesPerPixel"),
              "40");
    EXPECT_EQ(firstWithPrefix(sent, "r.HighResshotDelay "), "r.HighResshotDelay 80");
}

TEST_F(ApplierRun, ProductionKeysAreIgnoredWhenNotProducing)
{
    scene["AnimationProduction/MaxIterations"] = 64;
    scene["AnimationProduction/EnablePathTracing"] = 1;
    animation = true; // "ProducingAnimation" alone does not count
    const QStringList sent = commands();
    EXPECT_EQ(postProcessMap(firstWithPrefix(sent, "Set PostProcessVolume Settings"))
                  .value("PathTracingSamplesPerPixel"),
              "250");
    EXPECT_EQ(sent.size(), 14);
}

TEST_F(ApplierRun, RtQualityChangeAsksForOneMaterialRefresh)
{
    tessellation = true;
    scene["RenderSettings/RTQuality"] = 2;
    Applier::Result first = run();
    EXPECT_TRUE(first.refreshMaterials);
    EXPECT_EQ(remembered.rtQuality, 2);
    EXPECT_FALSE(run().refreshMaterials);

    scene["RenderSettings/RTQuality"] = 1;
    EXPECT_TRUE(run().refreshMaterials);
    EXPECT_EQ(remembered.rtQuality, 1);
}

TEST_F(ApplierRun, RtQualityWithoutTessellationIsNotRemembered)
{
    tessellation = false;
    scene["RenderSettings/RTQuality"] = 3;
    EXPECT_FALSE(run().refreshMaterials);
    EXPECT_EQ(remembered.rtQuality, 1);
}

TEST_F(ApplierRun, RtQualityDerivesDefaults)
{
    scene["RenderSettings/RTQuality"] = 2;
    QMap<QString, QString> f = postProcess();
    EXPECT_EQ(f.value("RayTracingReflectionsMaxBounces"), "2");
    EXPECT_EQ(f.value("RayTracingGIMaxBounces"), "2");
    EXPECT_EQ(f.value("RayTracingGISamplesPerPixel"), "16");
    EXPECT_EQ(f.value("RayTracingAOSamplesPerPixel"), "8");
    EXPECT_EQ(f.value("RayTracingTranslucencyRefractionRays"), "12");
    EXPECT_EQ(f.value("RayTracingTranslucencySamplesPerPixel"), "8");
    EXPECT_EQ(f.value("PathTracingMaxBounces"), "512");

    scene["RenderSettings/RayTracingGISamplesPerPixel"] = 5;
    scene["RenderSettings/PT_MaxBounces"] = 4;
    f = postProcess();
    EXPECT_EQ(f.value("RayTracingGISamplesPerPixel"), "5");
    EXPECT_EQ(f.value("PathTracingMaxBounces"), "128");

    scene["RenderSettings/RTQuality"] = 0;
    scene.remove("RenderSettings/PT_MaxBounces");
    f = postProcess();
    EXPECT_EQ(f.value("RayTracingReflectionsMaxBounces"), "0");
    EXPECT_EQ(f.value("RayTracingTranslucencyRefractionRays"), "4");
    EXPECT_EQ(f.value("PathTracingMaxBounces"), "0");
}

TEST_F(ApplierRun, HugeCountsDoNotOverflow)
{
    scene["RenderSettings/RTQuality"] = 2000000000;
    scene["RenderSettings/PT_SamplesPerPixel"] = 2000000000;
    scene["RenderSettings/EnablePathTracing"] = 1;
    const QStringList sent = commands();
    const QMap<QString, QString> f = postProcessMap(firstWithPrefix(sent, "Set PostProcessVolume Settings"));
    EXPECT_EQ(f.value("RayTracingGISamplesPerPixel"), "2147483647");
    EXPECT_EQ(f.value("PathTracingMaxBounces"), "2147483647");
    EXPECT_EQ(firstWithPrefix(sent, "r.HighResshotDelay "), "r.HighResshotDelay 2147483647");
}

TEST_F(ApplierRun, ModesAreNormalised)
{
    scene["RenderSettings/ReflectionsMode"] = 0;
    scene["RenderSettings/GIMode"] = 0;
    scene["RenderSettings/TranslucencyMode"] = 0;
    QMap<QString, QString> f = postProcess();
    EXPECT_EQ(f.value("ReflectionMethod"), "Lumen");
    EXPECT_EQ(f.value("DynamicGlobalIlluminationMethod"), "Lumen");
    EXPECT_EQ(f.value("TranslucencyType"), "Raytracing");

    scene["RenderSettings/ReflectionsMode"] = 2;
    scene["RenderSettings/GIMode"] = 1;
    f = postProcess();
    EXPECT_EQ(f.value("ReflectionMethod"), "Lumen");
    EXPECT_EQ(f.value("DynamicGlobalIlluminationMethod"), "RayTraced");
}

TEST_F(ApplierRun, NamedChoices)
{
    const struct
    {
        const char* key;
        QVariant value;
        const char* field;
        const char* expected;
    } rows[] = {
        {"ToneMapper/ReflShadowType", 1, "RayTracingReflectionsShadows", "Soft_shadows"},
        {"ToneMapper/ReflShadowType", 7, "RayTracingTranslucencyShadows", "Soft_shadows"},
        {"Camera/AutoExposureMethod", 1, "AutoExposureMethod", "AEM_Basic"},
        {"Camera/AutoExposureMethod", 2, "AutoExposureMethod", "AEM_Manual"},
        {"Camera/AutoExposureMethod", -1, "AutoExposureMethod", "AEM_Manual"},
        {"RenderSettings/RayTracingGIType", 1, "RayTracingGIType", "FinalGather"},
        {"RenderSettings/RayTracingGIType", 2, "RayTracingGIType", "BruteForce"},
        {"RenderSettings/RaytracingAO", 5, "RayTracingAO", "1"},
        {"RenderSettings/PT_EnableEmissiveMaterials", 0, "PathTracingEnableEmissive", "0"},
        {"RenderSettings/PT_EnableDenoiser", false, "PathTracingEnableDenoiser", "0"},
        {"Camera/BloomMethod", QString("BM_FFT"), "BloomMethod", "BM_FFT"},
    };
    for (const auto& row : rows) {
        scene.clear();
        scene[row.key] = row.value;
        EXPECT_EQ(postProcess().value(row.field).toStdString(), row.expected) << row.key;
    }
}

TEST_F(ApplierRun, SwitchedValuesAreZeroWhileOff)
{
    scene["Camera/DepthOfFieldFocalDistance"] = 500;
    scene["Camera/MotionBlurAmount"] = 3;
    scene["Camera/BloomIntensity"] = 5;
    QMap<QString, QString> f = postProcess();
    EXPECT_EQ(f.value("DepthOfFieldFocalDistance"), "0");
    // The blur radius divides the stored distance, also while depth of field is off.
    EXPECT_EQ(f.value("DepthOfFieldDepthBlurRadius"), "inf");
    EXPECT_EQ(f.value("MotionBlurAmount"), "0");
    EXPECT_EQ(f.value("BloomIntensity"), "0");

    scene["Camera/DepthOfFieldEnaled"] = true;
    scene["Camera/DepthOfFieldFocalRegion"] = 250;
    scene["Camera/MotionBlurEnabled"] = true;
    scene["Camera/BloomEnabled"] = QString("true");
    f = postProcess();
    EXPECT_EQ(f.value("DepthOfFieldFocalDistance"), "500");
    EXPECT_EQ(f.value("DepthOfFieldDepthBlurRadius"), "2");
    EXPECT_EQ(f.value("MotionBlurAmount"), "3");
    EXPECT_EQ(f.value("BloomIntensity"), "5");

    scene.remove("Camera/MotionBlurAmount");
    scene.remove("Camera/BloomIntensity");
    f = postProcess();
    EXPECT_EQ(f.value("MotionBlurAmount"), "0.5");
    EXPECT_EQ(f.value("BloomIntensity"), "0.675");
}

TEST_F(ApplierRun, IndirectLightingIsTheInverseAoIntensity)
{
    scene["ToneMapper/AmbientOcclusionIntensity"] = 4;
    QMap<QString, QString> f = postProcess();
    EXPECT_EQ(f.value("AmbientOcclusionIntensity"), "4");
    EXPECT_EQ(f.value("RayTracingAOIntensity"), "4");
    EXPECT_EQ(f.value("IndirectLightingIntensity"), "0.25");
    scene["ToneMapper/AmbientOcclusionIntensity"] = 0;
    EXPECT_EQ(postProcess().value("IndirectLightingIntensity"), "inf");
}

TEST_F(ApplierRun, ToneMapperSlotsReachTheirVectors)
{
    const char* keys[] = {"ToneMapper/Brightness",    "ToneMapper/ShadowBrightness",
                          "ToneMapper/MidBrightness", "ToneMapper/HghlBrightness",
                          "ToneMapper/Contrast",      "ToneMapper/ShadowContrast",
                          "ToneMapper/MidContrast",   "ToneMapper/HghlContrast",
                          "ToneMapper/Saturation",    "ToneMapper/ShadowSaturation",
                          "ToneMapper/MidSaturation", "ToneMapper/HghlSaturation",
                          "ToneMapper/Gamma",         "ToneMapper/ShadowGamma",
                          "ToneMapper/MidGamma",      "ToneMapper/HghlGamma"};
    const char* fields[] = {
        "ColorGain",       "ColorGainShadows",       "ColorGainMidtones",       "ColorGainHighlights",
        "ColorContrast",   "ColorContrastShadows",   "ColorContrastMidtones",   "ColorContrastHighlights",
        "ColorSaturation", "ColorSaturationShadows", "ColorSaturationMidtones", "ColorSaturationHighlights",
        "ColorGamma",      "ColorGammaShadows",      "ColorGammaMidtones",      "ColorGammaHighlights"};
    for (int i = 0; i < 16; ++i)
        scene[keys[i]] = 1.5 + i;
    const QMap<QString, QString> f = postProcess();
    for (int i = 0; i < 16; ++i) {
        const QString v = Applier::real(1.5 + i);
        EXPECT_EQ(f.value(fields[i]), QString("(X=%1,Y=%1,Z=%1,W=1.000000)").arg(v)) << fields[i];
    }
}

TEST_F(ApplierRun, UnconvertibleValuesGiveZero)
{
    scene["ToneMapper/Gamma"] = QString("bright");
    scene["Camera/MotionBlurTargetFPS"] = QString("fast");
    scene["RenderSettings/PT_AntialiasFilter"] = QString("2.5"); // INI text converts
    const QMap<QString, QString> f = postProcess();
    EXPECT_EQ(f.value("ColorGamma"), "(X=0,Y=0,Z=0,W=1.000000)");
    EXPECT_EQ(f.value("MotionBlurTargetFPS"), "0");
    EXPECT_EQ(f.value("PathTracingFilterWidth"), "2.5");
}

TEST_F(ApplierRun, BloomMethodIsNotFilledAgain)
{
    scene["Camera/BloomMethod"] = QString("%1");
    scene["ToneMapper/Gamma"] = 9;
    const QMap<QString, QString> f = postProcess();
    EXPECT_EQ(f.value("BloomMethod"), "%1");
    EXPECT_EQ(f.value("RayTracingReflectionsMaxBounces"), "1");
}
