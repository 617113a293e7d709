// Scenes of a drawing: the current-scene record, the per-scene INI files in the project folder,
// loading them into the session and storing changed values.
#include "tests/common/zalSettingsTestSession.h"
#include "tests/common/zalSettingsTestUtil.h"

#include "DbDictionary.h"
#include "DbField.h"
#include "DbLayerTableRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>

using namespace zalSettingsTestUtil;

namespace {

class SceneStore : public zalSettingsSessionTest
{
protected:
    void SetUp() override
    {
        zalSettingsSessionTest::SetUp();
        if (HasFatalFailure()) return;
        db = OdDbDatabase::createObject();
        host->addDocument(db.get());
        host->console()->setCurrentDatabase(db.get());
    }

    static int low32(const OdDbObjectId& id) { return int(OdUInt32(id.getHandle().value() & 0xFFFFFFFFu)); }

    // Where the scene file of the object with that id lives.
    QString sceneFilePath(const OdDbObjectId& id)
    {
        const QString name = zalApp()->objectIdToString(id) + "_ue5.rsc";
        return host->projectManager()->absolutePath(name, IzalProjectManager::kScenes, db.get());
    }

    void writeScene(const QString& path, const QMap<QString, QVariant>& values)
    {
        QSettings file(path, QSettings::IniFormat);
        for (auto it = values.begin(); it != values.end(); ++it)
            file.setValue(it.key(), it.value());
        file.sync();
        ASSERT_EQ(file.status(), QSettings::NoError);
    }

    OdString fieldCode()
    {
        OdDbDictionaryPtr named = OdDbDictionary::cast(db->getNamedObjectsDictionaryId().safeOpenObject());
        OdDbObjectPtr entry = named->getAt(OdString(L"UnrealNamedView"), OdDb::kForRead);
        OdDbFieldPtr field = OdDbField::cast(entry);
        return field.isNull() ? OdString(L"<none>") : field->getFieldCode(OdDbField::kTextField);
    }

    int viewEvents(const QSignalSpy& spy) const
    {
        int n = 0;
        for (const QList<QVariant>& event : spy)
            if (event.value(0).toString() == "unrealviewportscene" &&
                event.value(1).toString() == "<event-refresh:view_changed>" && event.value(2).toBool())
                ++n;
        return n;
    }

    OdDbDatabasePtr db;
};

} // namespace

TEST_F(SceneStore, DrawingWithoutRecordReportsItsActiveViewport)
{
    EXPECT_EQ(module->currentScene(db), low32(db->activeViewportId()));
    EXPECT_NE(module->currentScene(db), 0);
    // A null database means the console's current drawing.
    EXPECT_EQ(module->currentScene(OdDbDatabasePtr()), low32(db->activeViewportId()));
    EXPECT_EQ(module->currentScenePath(db), zalApp()->objectIdToString(db->activeViewportId()) + "_ue5.rsc");
}

TEST_F(SceneStore, RecordHoldsTheIdAsDecimalFieldCode)
{
    const int layer = low32(db->getLayerZeroId());
    module->setCurrentScene(db, layer);
    EXPECT_EQ(fieldCode(), OdString(QString::number(layer).toStdWString().c_str()));
    EXPECT_EQ(module->currentScene(db), layer);
    EXPECT_EQ(module->currentScenePath(db), zalApp()->objectIdToString(db->getLayerZeroId()) + "_ue5.rsc");

    // Replaced, not added; 0 stands for the active viewport.
    module->setCurrentScene(db, 0);
    EXPECT_EQ(fieldCode(), OdString(QString::number(low32(db->activeViewportId())).toStdWString().c_str()));
    EXPECT_EQ(module->currentScene(db), low32(db->activeViewportId()));
}

TEST_F(SceneStore, RecordOfZeroFallsBackToTheActiveViewport)
{
    {
        OdDbDictionaryPtr named =
            OdDbDictionary::cast(db->getNamedObjectsDictionaryId().safeOpenObject(OdDb::kForWrite));
        OdDbFieldPtr field = OdDbField::createObject();
        field->setFieldCode(OdString(L"0"), OdDbField::kTextField);
        named->setAt(OdString(L"UnrealNamedView"), field);
    }
    EXPECT_EQ(module->currentScene(db), low32(db->activeViewportId()));
}

TEST_F(SceneStore, WithoutRenderViewTheSettingsMapIsOneEmptyMap)
{
    QMap<QString, QVariant>& first = module->currentSceneSettings();
    QMap<QString, QVariant>& second = module->currentSceneSettings();
    EXPECT_TRUE(first.isEmpty());
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(module->getSceneSettings("ToneMapper/Gamma", 7.5).toDouble(), 7.5);
    // Nothing to store into: no session.
    module->setSceneSettings("ToneMapper/Gamma", 2.0, true, true);
    EXPECT_TRUE(module->currentSceneSettings().isEmpty());
}

TEST_F(SceneStore, SessionLoadsTheCurrentSceneFileWhenOpened)
{
    writeScene(
        sceneFilePath(db->activeViewportId()),
        {{"ToneMapper/Gamma", 2.5}, {"Sun/Environment/SunMode", 1}, {"ImageProduction/MaxIterations", 300}});
    zalDbUnrealRenderSession* session = openDrawing(db.get());
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(&module->currentSceneSettings(), &session->sceneSettings());
    EXPECT_EQ(session->sceneSettings().size(), 3);
    // INI values come back as text and convert like the stored values.
    EXPECT_EQ(module->getSceneSettings("ToneMapper/Gamma", 1).toDouble(), 2.5);
    EXPECT_EQ(module->getSceneSettings("ImageProduction/MaxIterations", 50).toInt(), 300);
    EXPECT_EQ(module->getSceneSettings("AnimationProduction/MaxIterations", 50).toInt(), 50);
    ASSERT_NE(session->sceneFile(), nullptr);
    EXPECT_EQ(QFileInfo(session->sceneFile()->fileName()).canonicalFilePath(),
              QFileInfo(sceneFilePath(db->activeViewportId())).canonicalFilePath());
}

TEST_F(SceneStore, MissingSceneFileGivesAnEmptyMap)
{
    zalDbUnrealRenderSession* session = openDrawing(db.get());
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(session->sceneSettings().isEmpty());
    EXPECT_FALSE(QFile::exists(sceneFilePath(db->activeViewportId())));
}

TEST_F(SceneStore, SwitchingSceneLoadsItsFileAppliesAndTellsTheViews)
{
    zalDbUnrealRenderSession* session = openDrawing(db.get());
    ASSERT_NE(session, nullptr);
    session->sceneSettings()["ToneMapper/Contrast"] = 4; // belongs to the scene being left
    const OdDbObjectId sceneObject = db->getLayerZeroId();
    writeScene(sceneFilePath(sceneObject), {{"ToneMapper/Gamma", 2.5}, {"Sun/Environment/SunMode", 1}});

    QSignalSpy events(host.get(), &zalHostApplication::viewEventSent);
    QSignalSpy panels(module, &zalUnrealRenderModule::currentSettingsChange);
    module->setCurrentScene(db, low32(sceneObject));

    EXPECT_EQ(module->currentScene(db), low32(sceneObject));
    EXPECT_EQ(session->sceneSettings().size(), 2);
    EXPECT_FALSE(session->sceneSettings().contains("ToneMapper/Contrast"));
    EXPECT_EQ(viewEvents(events), 1);
    EXPECT_EQ(panels.count(), 1);

    // Applied once, with the new scene's values.
    const QStringList commands = sent();
    EXPECT_EQ(commands.count("spawneruseinstances 1"), 1);
    EXPECT_EQ(commands.value(1), "setSunByPos northOffset=90 azimuth=0 elevation=65");
    EXPECT_EQ(postProcessMap(firstWithPrefix(commands, "Set PostProcessVolume")).value("ColorGamma"),
              "(X=2.5,Y=2.5,Z=2.5,W=1.000000)");
}

TEST_F(SceneStore, StoringTheStoredValueDoesNothing)
{
    writeScene(sceneFilePath(db->activeViewportId()), {{"ToneMapper/Gamma", 2.5}});
    zalDbUnrealRenderSession* session = openDrawing(db.get());
    ASSERT_NE(session, nullptr);
    QSignalSpy events(host.get(), &zalHostApplication::viewEventSent);
    const QDateTime written = QFileInfo(sceneFilePath(db->activeViewportId())).lastModified();

    // "2.5" from the file equals 2.5 after Qt's conversion.
    module->setSceneSettings("ToneMapper/Gamma", 2.5, true, true);
    module->setSceneSettings("ToneMapper/Gamma", QString("2.5"), true, true);
    EXPECT_TRUE(recorder->lines().isEmpty());
    EXPECT_EQ(viewEvents(events), 0);
    EXPECT_EQ(QFileInfo(sceneFilePath(db->activeViewportId())).lastModified(), written);
}

TEST_F(SceneStore, StoringANewValueAppliesSavesAndTellsTheViews)
{
    zalDbUnrealRenderSession* session = openDrawing(db.get());
    ASSERT_NE(session, nullptr);
    QSignalSpy events(host.get(), &zalHostApplication::viewEventSent);

    // Absent key: even false is a change.
    module->setSceneSettings("Camera/BloomEnabled", false, false, false);
    EXPECT_TRUE(session->sceneSettings().contains("Camera/BloomEnabled"));
    EXPECT_TRUE(recorder->lines().isEmpty());
    EXPECT_EQ(viewEvents(events), 0);

    module->setSceneSettings("ToneMapper/Gamma", 1.8, true, false);
    EXPECT_EQ(sent().count("spawneruseinstances 1"), 1);
    EXPECT_EQ(viewEvents(events), 0);
    EXPECT_FALSE(QFile::exists(sceneFilePath(db->activeViewportId())));

    recorder->clear();
    module->setSceneSettings("ToneMapper/Contrast", 1.2, false, true);
    EXPECT_TRUE(recorder->lines().isEmpty());
    EXPECT_EQ(viewEvents(events), 1);
    QSettings file(sceneFilePath(db->activeViewportId()), QSettings::IniFormat);
    EXPECT_EQ(file.value("ToneMapper/Gamma").toDouble(), 1.8);
    EXPECT_EQ(file.value("ToneMapper/Contrast").toDouble(), 1.2);
    EXPECT_EQ(file.value("Camera/BloomEnabled").toBool(), false);
    EXPECT_TRUE(file.contains("Camera/BloomEnabled"));
}

TEST_F(SceneStore, SavedSceneComesBackInANewSession)
{
    zalDbUnrealRenderSession* session = openDrawing(db.get());
    ASSERT_NE(session, nullptr);
    module->setSceneSettings("Sun/Environment/SunDateTime", QDateTime(QDate(2024, 6, 21), QTime(15, 45)),
                             false, true);
    module->setSceneSettings("Camera/BloomMethod", QString("BM_FFT"), false, true);
    for (zalHostView* view : host->viewSystem()->views())
        host->viewSystem()->closeView(view);
    QCoreApplication::processEvents();

    session = openDrawing(db.get());
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->sceneSettings().value("Sun/Environment/SunDateTime").toDateTime(),
              QDateTime(QDate(2024, 6, 21), QTime(15, 45)));
    module->applyCurrentSceneSettings();
    const QStringList commands = sent();
    EXPECT_EQ(commands.value(4), "Set zalSunSky_C SunDateYear 2024");
    EXPECT_EQ(commands.value(5), "Set zalSunSky_C SunDateMonth 6");
    EXPECT_EQ(commands.value(6), "Set zalSunSky_C SunDateDay 21");
    // 15:45 and the clock's seconds.
    ASSERT_TRUE(commands.value(7).startsWith("Set zalSunSky_C SunSolarTime 15.7"));
    const double solarTime = commands.value(7).section(' ', -1).toDouble();
    EXPECT_GE(solarTime, 15.75);
    EXPECT_LT(solarTime, 15.75 + 60 / 3600.0);
    EXPECT_EQ(postProcessMap(firstWithPrefix(commands, "Set PostProcessVolume")).value("BloomMethod"),
              "BM_FFT");
}

TEST_F(SceneStore, SettingsOfAnotherDrawingAreNotRead)
{
    zalDbUnrealRenderSession* session = openDrawing(db.get());
    ASSERT_NE(session, nullptr);
    session->sceneSettings()["ToneMapper/Gamma"] = 3;
    EXPECT_EQ(module->getSceneSettings("ToneMapper/Gamma", 1).toInt(), 3);
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    host->addDocument(other.get());
    host->console()->setCurrentDatabase(other.get());
    EXPECT_EQ(module->getSceneSettings("ToneMapper/Gamma", 1).toInt(), 1);
    EXPECT_TRUE(module->currentSceneSettings().isEmpty());
}
