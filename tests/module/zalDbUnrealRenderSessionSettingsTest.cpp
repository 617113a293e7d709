// Scene settings reaching the viewer through a real session: what the channel carries (the
// pause first and later switches overriding earlier ones in order), the two read paths, the remembered
// switches and the RT quality material refresh.
#include "tests/common/zalSettingsTestSession.h"
#include "tests/common/zalSettingsTestUtil.h"

#include "settings/zalSceneSettingsApplier.h"

#include <QDateTime>
#include <QRegularExpression>

using namespace zalSettingsTestUtil;

namespace {

class SceneSettingsSession : public zalSettingsSessionTest
{
protected:
    void SetUp() override
    {
        zalSettingsSessionTest::SetUp();
        if (HasFatalFailure()) return;
        db = OdDbDatabase::createObject();
        session = openDrawing(db.get());
        ASSERT_NE(session, nullptr);
    }

    // The sun commands of a run at `at`: today's date and the clock's seconds.
    static QStringList dateCommands(const QDateTime& at)
    {
        const QDate d = at.date();
        return {"Set zalSunSky_C SunLongitude 12.4964",
                "Set zalSunSky_C SunLatitude 41.9028",
                "Set zalSunSky_C SunNorthOffset 90",
                QString("Set zalSunSky_C SunDateYear %1").arg(d.year()),
                QString("Set zalSunSky_C SunDateMonth %1").arg(d.month()),
                QString("Set zalSunSky_C SunDateDay %1").arg(d.day()),
                "Set zalSunSky_C SunSolarTime " +
                    zalSceneSettingsApplier::real(11 + at.time().second() / 3600.0)};
    }

    void store(const char* key, const QVariant& value, bool apply = false)
    {
        module->setSceneSettings(key, value, apply, false);
    }

    int count(const QString& command) const { return sent().count(command); }

    OdDbDatabasePtr db;
    zalDbUnrealRenderSession* session = nullptr;
};

} // namespace

TEST_F(SceneSettingsSession, EmptyStoreSendsTheDefaultSequence)
{
    ASSERT_TRUE(session->sceneSettings().isEmpty());
    const QDateTime before = QDateTime::currentDateTime();
    module->applyCurrentSceneSettings();
    const QDateTime after = QDateTime::currentDateTime();

    const QStringList commands = sent();
    ASSERT_EQ(commands.size(), 14) << commands.join('\n').toStdString();
    EXPECT_EQ(firstWithPrefix(commands, "spawneruseinstances "), "spawneruseinstances 1");
    // The run took place between the two clock readings: one of them gives its seconds.
    QStringList sun = commands.filter(QRegularExpression(
        "^Set zalSunSky_C Sun(Longitude|Latitude|NorthOffset|DateYear|DateMonth|DateDay|SolarTime) "));
    QStringList atBefore = dateCommands(before), atAfter = dateCommands(after);
    sun.sort();
    atBefore.sort();
    atAfter.sort();
    EXPECT_TRUE(sun == atBefore || sun == atAfter) << sun.join('\n').toStdString();
    EXPECT_EQ(firstWithPrefix(commands, "Set zalSunSky_C SunSourceAngle "),
              "Set zalSunSky_C SunSourceAngle 0.5");
    EXPECT_EQ(firstWithPrefix(commands, "Set zalSunSky_C IntensityMultiplier "),
              "Set zalSunSky_C IntensityMultiplier 1");
    EXPECT_EQ(firstWithPrefix(commands, "Set zalSunSky_C SunIntensity "),
              "Set zalSunSky_C SunIntensity 75000");

    const QMap<QString, QString> f =
        postProcessMap(firstWithPrefix(commands, "Set PostProcessVolume Settings"));
    EXPECT_EQ(f.value("PathTracingMaxBounces"), "256");
    EXPECT_EQ(f.value("PathTracingSamplesPerPixel"), "250");
    EXPECT_EQ(f.value("ReflectionMethod"), "RayTraced");
    EXPECT_EQ(f.value("DynamicGlobalIlluminationMethod"), "Lumen");
    EXPECT_EQ(f.value("TranslucencyType"), "Raytracing");
    EXPECT_EQ(f.value("IndirectLightingIntensity"), "1");
    EXPECT_EQ(f.value("AutoExposureMethod"), "AEM_Histogram");
    EXPECT_EQ(f.value("BloomIntensity"), "0");
    EXPECT_EQ(firstWithPrefix(commands, "setao "), "setao 0.501961;0.501961;0.501961");
    EXPECT_EQ(firstWithPrefix(commands, "r.Shadow.FadeResolution "), "r.Shadow.FadeResolution 1.27324");

    // Only commands: no sun by position, nothing else on the channel.
    EXPECT_TRUE(recorder->lines("setSunByPos").isEmpty());
    EXPECT_EQ(recorder->lines().size(), 14);
    EXPECT_EQ(session->appliedPathTracing(), 0);
    EXPECT_EQ(session->appliedRtQuality(), 1);
}

TEST_F(SceneSettingsSession, SunModeOnePlacesTheSunByPosition)
{
    store("Sun/Environment/SunMode", 1);
    store("Sun/Environment/SunAzimut", 30);
    store("Sun/Environment/SunElevation", 40);
    store("Sun/Environment/SunNorth", 10);
    module->applyCurrentSceneSettings();

    const QStringList commands = sent();
    ASSERT_GE(commands.size(), 5);
    EXPECT_EQ(firstWithPrefix(commands, "spawneruseinstances "), "spawneruseinstances 1");
    EXPECT_EQ(firstWithPrefix(commands, "setSunByPos "),
              "setSunByPos northOffset=100 azimuth=30 elevation=40");
    EXPECT_EQ(firstWithPrefix(commands, "Set zalSunSky_C SunSourceAngle "),
              "Set zalSunSky_C SunSourceAngle 0.5");
    EXPECT_EQ(recorder->lines("setSunByPos").size(), 1);
    for (const QString& command : commands) {
        for (const char* date : {"SunLongitude", "SunLatitude", "SunNorthOffset", "SunDateYear",
                                 "SunDateMonth", "SunDateDay", "SunSolarTime"})
            EXPECT_FALSE(command.startsWith(QString("Set zalSunSky_C ") + date)) << command.toStdString();
    }
}

TEST_F(SceneSettingsSession, AmbientOcclusionColourOfPureRed)
{
    store("ToneMapper/AmbientOcclusionColor", 255, true);
    EXPECT_EQ(count("setao 1;0;0"), 1);
    EXPECT_EQ(count("spawneruseinstances 1"), 1);
}

TEST_F(SceneSettingsSession, PathTracingPairOnlyInRunsWhereTheSwitchChanged)
{
    store("RenderSettings/EnablePathTracing", 1, true);
    QStringList commands = sent();
    ASSERT_EQ(commands.size(), 16) << commands.join('\n').toStdString();
    EXPECT_EQ(firstWithPrefix(commands, "showflag.pathtracing "), "showflag.pathtracing 1");
    EXPECT_EQ(firstWithPrefix(commands, "r.HighResshotDelay "), "r.HighResshotDelay 500");
    EXPECT_EQ(firstWithPrefix(commands, "r.Shadow.FadeResolution "), "r.Shadow.FadeResolution 1.27324");
    EXPECT_EQ(session->appliedPathTracing(), 1);

    recorder->clear();
    module->applyCurrentSceneSettings();
    EXPECT_EQ(sent().size(), 14);
    EXPECT_TRUE(firstWithPrefix(sent(), "showflag.pathtracing").isEmpty());

    recorder->clear();
    store("RenderSettings/EnablePathTracing", 0, true);
    commands = sent();
    ASSERT_EQ(commands.size(), 16);
    EXPECT_EQ(firstWithPrefix(commands, "showflag.pathtracing "), "showflag.pathtracing 0");
    EXPECT_EQ(firstWithPrefix(commands, "r.HighResshotDelay "), "r.HighResshotDelay 1");
}

TEST_F(SceneSettingsSession, ChangingOnlyGammaResendsTheFullSequence)
{
    module->applyCurrentSceneSettings();
    const QStringList first = sent();
    recorder->clear();

    store("ToneMapper/Gamma", 2.2, true);
    const QStringList second = sent();
    ASSERT_EQ(second.size(), first.size());
    ASSERT_EQ(second.size(), 14);
    // Apart from the solar time (it follows the clock) and the post-process volume (it carries the
    // gamma), the same commands.
    auto rest = [](const QStringList& commands) {
        QStringList out;
        for (const QString& c : commands)
            if (!c.startsWith("Set zalSunSky_C SunSolarTime ") && !c.startsWith("Set PostProcessVolume "))
                out << c;
        out.sort();
        return out;
    };
    const QStringList firstRest = rest(first), secondRest = rest(second);
    EXPECT_EQ(secondRest, firstRest);
    EXPECT_EQ(secondRest.size(), 12);
    EXPECT_TRUE(firstWithPrefix(second, "Set zalSunSky_C SunSolarTime ")
                    .startsWith("Set zalSunSky_C SunSolarTime 11"));
    auto firstFields = postProcessFields(firstWithPrefix(first, "Set PostProcessVolume Settings"));
    auto secondFields = postProcessFields(firstWithPrefix(second, "Set PostProcessVolume Settings"));
    ASSERT_EQ(firstFields.size(), secondFields.size());
    for (int i = 0; i < firstFields.size(); ++i) {
        EXPECT_EQ(firstFields[i].first, secondFields[i].first);
        if (firstFields[i].first == "ColorGamma") {
            EXPECT_EQ(firstFields[i].second, "(X=1,Y=1,Z=1,W=1.000000)");
            EXPECT_EQ(secondFields[i].second, "(X=2.2,Y=2.2,Z=2.2,W=1.000000)");
        } else {
            EXPECT_EQ(firstFields[i].second, secondFields[i].second) << firstFields[i].first.toStdString();
        }
    }
}

TEST_F(SceneSettingsSession, AnimationProductionReplacesSamplesAndDelay)
{
    store("RenderSettings/PT_SamplesPerPixel", 250);
    store("AnimationProduction/MaxIterations", 64);
    store("AnimationProduction/EnablePathTracing", 1);
    module->setProductionMode(true, true, false, false);

    const QStringList commands = sent();
    ASSERT_GE(commands.size(), 18) << commands.join('\n').toStdString();
    EXPECT_EQ(commands[0], "pause");
    EXPECT_EQ(firstWithPrefix(commands, "spawneruseinstances "), "spawneruseinstances 1");
    EXPECT_EQ(postProcessMap(firstWithPrefix(commands, "Set PostProcessVolume Settings"))
                  .value("PathTracingSamplesPerPixel"),
              "64");
    EXPECT_EQ(firstWithPrefix(commands, "r.HighResshotDelay "), "r.HighResshotDelay 128");
    EXPECT_EQ(firstWithPrefix(commands, "r.Shadow.FadeResolution "), "r.Shadow.FadeResolution 1.27324");
    // Production mode then sets the flag from the normal setting (the path tracer is not used): the
    // later command wins, so here the order is what counts.
    EXPECT_EQ(commands.filter(QRegularExpression("^showflag\\.pathtracing ")),
              QStringList({"showflag.pathtracing 1", "showflag.pathtracing 0"}));
    EXPECT_EQ(commands.size(), 18);

    recorder->clear();
    module->applyCurrentSceneSettings();
    EXPECT_EQ(
        postProcessMap(firstWithPrefix(sent(), "Set PostProcessVolume")).value("PathTracingSamplesPerPixel"),
        "64");

    recorder->clear();
    module->setProductionMode(false, false, false, false);
    EXPECT_EQ(sent().value(0), "pause");
    EXPECT_EQ(
        postProcessMap(firstWithPrefix(sent(), "Set PostProcessVolume")).value("PathTracingSamplesPerPixel"),
        "250");
    EXPECT_EQ(count("showflag.pathtracing 0"), 2); // the switch changed back, then production's own
    EXPECT_EQ(count("r.HighResshotDelay 1"), 1);
}

TEST_F(SceneSettingsSession, RtQualityChangeRefreshesMaterialsOnce)
{
    ASSERT_TRUE(module->supportTessellation());
    // Materials reach a viewer whose window the session knows.
    ASSERT_TRUE(captureViewerWindow(session));
    ASSERT_TRUE(session->isLive());
    store("RenderSettings/RTQuality", 2, true);
    EXPECT_EQ(session->appliedRtQuality(), 2);
    EXPECT_EQ(count("spawneruseinstances 1"), 1);
    // Queued: nothing of the refresh has happened yet.
    EXPECT_EQ(count("refresh_materials"), 0);
    const int linesBeforeRefresh = recorder->lines().size();

    ASSERT_TRUE(waitFor([&] {
        return count("refresh_materials") == 1 && count("spawneruseinstances 1") == 2;
    })) << sent().join('\n').toStdString();
    // The materials go between the two applications, "refresh_materials" right before the second.
    const QStringList lines = recorder->lines();
    const int refreshLine = lines.indexOf("sendConsoleCommand command=\"refresh_materials\"");
    ASSERT_GT(refreshLine, linesBeforeRefresh - 1);
    EXPECT_EQ(lines.value(refreshLine + 1), "sendConsoleCommand command=\"spawneruseinstances 1\"");
    int materials = 0;
    for (int i = linesBeforeRefresh; i < refreshLine; ++i)
        if (lines[i].contains("_AcDbMaterial_")) ++materials;
    EXPECT_GT(materials, 0) << lines.mid(linesBeforeRefresh).join('\n').toStdString();

    // The second run found the preset applied: no further refresh.
    spin(1500);
    EXPECT_EQ(count("refresh_materials"), 1);
    EXPECT_EQ(count("spawneruseinstances 1"), 2);
    EXPECT_EQ(session->appliedRtQuality(), 2);
}

TEST_F(SceneSettingsSession, RtQualityWithoutTessellationRefreshesNothing)
{
    setVariable("Vars/UEVersion", 5);
    ASSERT_FALSE(module->supportTessellation());
    store("RenderSettings/RTQuality", 3, true);
    spin(1000);
    EXPECT_EQ(count("refresh_materials"), 0);
    EXPECT_EQ(count("spawneruseinstances 1"), 1);
    EXPECT_EQ(session->appliedRtQuality(), 1);
    EXPECT_EQ(
        postProcessMap(firstWithPrefix(sent(), "Set PostProcessVolume")).value("RayTracingGISamplesPerPixel"),
        "24");
}

TEST_F(SceneSettingsSession, NothingIsSentOrRememberedWithoutAStartedViewer)
{
    recorder->simulateViewerExit(0);
    ASSERT_TRUE(waitFor([&] { return !session->sender() || !session->sender()->isViewerStarted(); }));
    recorder->clear();
    store("RenderSettings/EnablePathTracing", 1);
    store("RenderSettings/RTQuality", 2);
    session->applySceneSettings();
    EXPECT_TRUE(recorder->lines().isEmpty());
    EXPECT_EQ(session->appliedPathTracing(), 0);
    EXPECT_EQ(session->appliedRtQuality(), 1);
}

TEST_F(SceneSettingsSession, NonSunKeysComeFromTheCurrentDrawing)
{
    // A second drawing with its own view becomes current; the first session still applies.
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    zalDbUnrealRenderSession* second = openDrawing(other.get());
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(transports.size(), 2);
    recorder = transports.first();

    session->sceneSettings()["ToneMapper/Gamma"] = 3;
    session->sceneSettings()["Sun/Environment/SunMode"] = 1;
    session->sceneSettings()["ToneMapper/ShadowsFadeThreshold"] = 8;
    second->sceneSettings()["ToneMapper/Gamma"] = 5;
    second->sceneSettings()["Sun/Environment/SunMode"] = 0;
    second->sceneSettings()["ToneMapper/ShadowsFadeThreshold"] = 16;

    recorder->clear();
    session->applySceneSettings();
    const QStringList commands = sent();
    EXPECT_EQ(firstWithPrefix(commands, "setSunByPos "), "setSunByPos northOffset=90 azimuth=0 elevation=65");
    EXPECT_EQ(postProcessMap(firstWithPrefix(commands, "Set PostProcessVolume")).value("ColorGamma"),
              "(X=5,Y=5,Z=5,W=1.000000)");
    EXPECT_EQ(firstWithPrefix(commands, "r.Shadow.FadeResolution "), "r.Shadow.FadeResolution 8");
}
