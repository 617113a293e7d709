// The settings panel in a reference host with the render module loaded by name, one drawing open
// in an "UnrealRender" view whose viewer channel is recorded, and the host's property editor
// drawing the panel's page. Every edit is made through the editor's widgets.
#include "settings/zalUnrealSettingsWidget.h"
#include "module/zalSessionRegistry.h"

#include "settings/ConfigurablePropBase.h"

#include "module/QUnrealDbRenderWidget.h"
#include "module/zalDbUnrealRenderSession.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"

#include "zalKeepAwake.h"
#include "zalPropEditorServices.h"
#include "zalPropertyPage.h"

#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostEventHub.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderSender.h"

#include "DbDatabase.h"
#include "PropServices.h"
#include "RxDynamicLinker.h"

#include "tests/common/zalEventLoop.h"
#include "tests/common/zalTestHost.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>

// Readable failures.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const OdString kModule(L"zalUnrealRenderModule.dll");

// The host with a say in the file wait: the test plays the viewer writing the screenshot there.
class ExportHost : public zalHostApplication
{
public:
    using zalHostApplication::zalHostApplication;

    bool waitForFile(const QString& path, int timeoutMs) override
    {
        waits << qMakePair(path, timeoutMs);
        if (onWait) return onWait(path, timeoutMs);
        return zalHostApplication::waitForFile(path, timeoutMs);
    }

    QList<QPair<QString, int>> waits;
    std::function<bool(const QString&, int)> onWait;
};

class SettingsPanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        host = zalTestHost::make<ExportHost>(zalTestHost::options(dir));
        XoRemoteRenderSender::setDefaultTransportFactory([this] {
            auto transport = std::make_unique<XoRecordingMessagesManager>();
            recorder = transport.get();
            return std::unique_ptr<XoInterProcessMessagesManager>(std::move(transport));
        });
        // The host application publishes its property services at start.
        zalPropEditorServices::registerServices();
        ASSERT_FALSE(odrxDynamicLinker()->loadModule(kModule).isNull())
            << QString::fromStdWString(odrxDynamicLinker()->lastError().c_str()).toStdString();
        module = qobject_cast<zalUnrealRenderModule*>(host->service(IzalUnrealRenderModule_id));
        ASSERT_NE(module, nullptr);
    }

    void TearDown() override
    {
        delete panel;
        if (host) {
            for (zalHostView* view : host->viewSystem()->views())
                host->viewSystem()->closeView(view);
            QCoreApplication::processEvents();
        }
        // A rebuilt property page hands its old widgets to deleteLater, which no event loop runs here:
        // they go now, while the module whose slots they hold is still loaded.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        odrxDynamicLinker()->unloadModule(kModule);
        zalPropEditorServices::unregisterServices();
        XoRemoteRenderSender::setDefaultTransportFactory(XoRemoteRenderSender::TransportFactory());
        host.reset();
    }

    // A drawing in an "UnrealRender" view whose viewer has started, and the panel made by the module.
    void openPanel(bool startViewer = true, bool withPage = true)
    {
        db = OdDbDatabase::createObject();
        host->addDocument(db);
        host->console()->setCurrentDatabase(db);
        ASSERT_NE(host->viewSystem()->openView("UnrealRender", db), nullptr);
        session = zalSessionRegistry::instance().sessionFor(db);
        ASSERT_NE(session, nullptr);
        ASSERT_NE(recorder, nullptr);
        if (startViewer) {
            recorder->simulateViewerStarted();
            ASSERT_TRUE(waitFor([&] { return session->sender() && session->sender()->isViewerStarted(); }));
        }
        auto* service = qobject_cast<IzalUnrealRenderModule*>(host->service("zal.IUnrealRender"));
        ASSERT_NE(service, nullptr);
        panel = service->createSettingsWidget(nullptr);
        ASSERT_NE(panel, nullptr);
        EXPECT_STREQ(panel->metaObject()->className(), "zalUnrealSettingsWidget");
        page = panel->findChild<zalPropertyPage*>();
        if (!withPage) return;
        ASSERT_NE(page, nullptr);
        panel->resize(420, 900);
        panel->show();
        recorder->clear();
    }

    QVariant stored(const QString& key) const { return session->sceneSettings().value(key); }

    template <class T> T* editor(const QString& path) const
    {
        T* widget = qobject_cast<T*>(page->editor(path));
        EXPECT_NE(widget, nullptr) << path.toStdString();
        return widget;
    }

    // Chooses an entry of a combo through the widget, as a user picking it does.
    void choose(const QString& path, const QString& entry)
    {
        QComboBox* combo = editor<QComboBox>(path);
        if (!combo) return;
        const int index = combo->findText(entry);
        ASSERT_GE(index, 0) << entry.toStdString();
        combo->setCurrentIndex(index);
    }

    void type(QWidget* field, const QString& text)
    {
        ASSERT_NE(field, nullptr);
        field->setFocus();
        if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) spin->selectAll();
        if (auto* line = qobject_cast<QLineEdit*>(field)) line->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    QStringList combo(const QString& path) const
    {
        QStringList items;
        if (QComboBox* box = editor<QComboBox>(path))
            for (int i = 0; i < box->count(); ++i)
                items << box->itemText(i);
        return items;
    }

    int postProcessApplications() const
    {
        return recorder->consoleCommands()
            .filter(QRegularExpression("^Set PostProcessVolume Settings"))
            .size();
    }

    QStringList highResShots() const
    {
        return recorder->consoleCommands().filter(QRegularExpression("^HighResShot "));
    }

    QTemporaryDir dir;
    std::unique_ptr<ExportHost> host;
    zalUnrealRenderModule* module = nullptr;
    XoRecordingMessagesManager* recorder = nullptr;
    OdDbDatabasePtr db;
    zalDbUnrealRenderSession* session = nullptr;
    QWidget* panel = nullptr;
    zalPropertyPage* page = nullptr;
};

const QStringList kSimpleModeProperties = {
    "UE_UiMode",
    "ImageProduction/ProdFrameSize",
    "ImageProduction/ProdCustomSize/ProdFrameWidth",
    "ImageProduction/ProdCustomSize/ProdFrameX",
    "ImageProduction/ProdCustomSize/ProdFrameHeight",
    "ImageProduction/ProdCustomSize/FakeLabel",
    "ImageProduction/ProdPathTrace/ProdPathTracing",
    "ImageProduction/ProdPathTrace/ProdMaxIter",
    "ImageProduction/ProdPathTrace/FakeLabel",
    "ImageProduction/ProdExportImage",
    "CatRayTracing/RTQuality",
    "PathTracing/EnablePathTracing",
    "PathTracing/PT_SamplesPerPixel",
    "PathTracing/PT_EnableEmissiveMaterials",
    "Camera/AutoExpMethod",
    "Camera/AutoExpBias",
    "Camera/DofEnabled",
    "Camera/DofDistance",
    "Camera/DofRegion",
    "Camera/MotionBlurEnabled",
    "Camera/MotionBlurTFPS",
    "Camera/MotionBlurAmount",
    "Camera/BloomEnabled",
    "Camera/BloomMethod",
    "Camera/BloomIntensity",
    "Camera/BloomThreshold",
    "Camera/BloomScale",
    "Sky/DateToolbar/DateTitle",
    "Sky/DateToolbar/DateSpacer",
    "Sky/DateToolbar/DateYear",
    "Sky/DateToolbar/DateMonth",
    "Sky/DateToolbar/DateDay",
    "Sky/TimeToolbar/TimeTitle",
    "Sky/TimeToolbar/DateHour",
    "Sky/TimeToolbar/DateMinute",
    "Sky/Longitude",
    "Sky/Latitude",
    "Sky/North",
    "Sky/Weather",
    "Sky/SunIntensity",
    "Sky/SunDiscPower",
    "Sky/SunLightSourceAngle",
    "ToneMapper/Brightness",
    "ToneMapper/Contrast",
    "ToneMapper/Saturation",
    "ToneMapper/Gamma",
    "ToneMapper/WhiteTemp",
};

const char* const kRefractionRays = "CatRayTracing/RayTracingTranslucencyRefractionRays";

TEST_F(SettingsPanelTest, simpleModeShowsExactlyTheSimpleProperties)
{
    openPanel();
    EXPECT_EQ(page->propertyPaths(), kSimpleModeProperties);
    for (const QString& path : page->propertyPaths())
        EXPECT_TRUE(page->editor(path)->isVisibleTo(panel)) << path.toStdString();
    EXPECT_EQ(editor<QComboBox>("UE_UiMode")->currentText(), "Simple");
    EXPECT_EQ(combo("UE_UiMode"), QStringList({"Simple", "Advanced", "Expert"}));
}

TEST_F(SettingsPanelTest, uiModeComboSwitchesModesAndRefractionRaysStayHidden)
{
    openPanel();
    EXPECT_EQ(page->editor(kRefractionRays), nullptr);

    choose("UE_UiMode", "Advanced");
    EXPECT_EQ(stored("RenderSettings/PropertyUiMode").toInt(), 1);
    // Only stored: the viewer is not told.
    EXPECT_EQ(postProcessApplications(), 0);
    const QStringList advanced = page->propertyPaths();
    for (const char* path : {"FinalGatherQuality", "ReflectionsMode", "GIMode", "RaytracingAO",
                             "CatRayTracing/RayTracingGISamplesPerPixel", "PathTracing/PT_MaxBounces",
                             "Shadows/AOColor", "MidTones/MidTonesGamma", "Highlights/HighlightsGamma",
                             "AmbientOcclusion/AmbientOcclusionStaticFraction", "Misc/ConsoleCommand"})
        EXPECT_TRUE(advanced.contains(path)) << path;
    for (const char* path :
         {"TranslucencyMode", "CatRayTracing/RayTracingReflectionsMaxBounces",
          "CatRayTracing/RayTracingTranslucencySamplesPerPixel", "Camera/DofAmount", kRefractionRays})
        EXPECT_FALSE(advanced.contains(path)) << path;

    choose("UE_UiMode", "Expert");
    EXPECT_EQ(stored("RenderSettings/PropertyUiMode").toInt(), 2);
    const QStringList expert = page->propertyPaths();
    for (const char* path : {"TranslucencyMode", "CatRayTracing/RayTracingReflectionsMaxBounces",
                             "CatRayTracing/RayTracingGIMaxBounces",
                             "CatRayTracing/RayTracingTranslucencySamplesPerPixel", "Camera/DofAmount"})
        EXPECT_TRUE(expert.contains(path)) << path;
    EXPECT_FALSE(expert.contains(kRefractionRays));
    EXPECT_EQ(page->editor(kRefractionRays), nullptr);

    // The source still describes it, hidden, with its range.
    OdString text;
    ASSERT_TRUE(
        static_cast<ConfigurablePropBase*>(static_cast<zalUnrealSettingsWidget*>(panel)->propertySource())
            ->getPropertyValues(text));
    const QString xml = QString::fromStdString(text.toUtf8());
    EXPECT_TRUE(xml.contains(
        "<property Name=\"RayTracingTranslucencyRefractionRays\" Type=\"int\" Value=\"8\" "
        "VisibleName=\"Translucency Refraction Rays\" Hidden=\"true\" Min=\"3\" Max=\"16384\"/>"))
        << xml.toStdString();

    // An out-of-range stored mode is clamped.
    module->setSceneSettings("RenderSettings/PropertyUiMode", 7, false, true);
    EXPECT_EQ(editor<QComboBox>("UE_UiMode")->currentText(), "Expert");
}

TEST_F(SettingsPanelTest, customSizeStoresZeroAndEnablesTheSizeFields)
{
    openPanel();
    EXPECT_EQ(editor<QComboBox>("ImageProduction/ProdFrameSize")->currentText(), "1920x1080 HD");
    EXPECT_EQ(combo("ImageProduction/ProdFrameSize"), zalUnrealSettingsWidget::frameSizeList());
    EXPECT_FALSE(editor<QSpinBox>("ImageProduction/ProdCustomSize/ProdFrameWidth")->isEnabled());
    EXPECT_FALSE(editor<QSpinBox>("ImageProduction/ProdCustomSize/ProdFrameHeight")->isEnabled());

    choose("ImageProduction/ProdFrameSize", "Custom Size");
    EXPECT_EQ(stored("ImageProduction/ImageWidth"), QVariant(0));
    EXPECT_EQ(stored("ImageProduction/ImageHeight"), QVariant(0));
    QSpinBox* width = editor<QSpinBox>("ImageProduction/ProdCustomSize/ProdFrameWidth");
    ASSERT_NE(width, nullptr);
    EXPECT_TRUE(width->isEnabled());
    EXPECT_TRUE(editor<QSpinBox>("ImageProduction/ProdCustomSize/ProdFrameHeight")->isEnabled());
    EXPECT_EQ(width->value(), 0);

    type(width, "1000");
    type(editor<QSpinBox>("ImageProduction/ProdCustomSize/ProdFrameHeight"), "500");
    EXPECT_EQ(stored("ImageProduction/ImageWidth"), QVariant(1000));
    EXPECT_EQ(stored("ImageProduction/ImageHeight"), QVariant(500));
    EXPECT_EQ(editor<QComboBox>("ImageProduction/ProdFrameSize")->currentText(), "Custom Size");
    EXPECT_TRUE(editor<QSpinBox>("ImageProduction/ProdCustomSize/ProdFrameWidth")->isEnabled());

    // A listed size again: the fields lock, the size is the label's.
    choose("ImageProduction/ProdFrameSize", "1280x720 HD 720P");
    EXPECT_EQ(stored("ImageProduction/ImageWidth"), QVariant(1280));
    EXPECT_EQ(stored("ImageProduction/ImageHeight"), QVariant(720));
    EXPECT_FALSE(editor<QSpinBox>("ImageProduction/ProdCustomSize/ProdFrameWidth")->isEnabled());
}

TEST(SettingsPanelFrameSizes, labelsMapToSizesAndBack)
{
    const QStringList& sizes = zalUnrealSettingsWidget::frameSizeList();
    ASSERT_EQ(sizes.size(), 9);
    EXPECT_EQ(zalUnrealSettingsWidget::frameSizeIndex(720, 480), 0);
    EXPECT_EQ(zalUnrealSettingsWidget::frameSizeIndex(1920, 1080), 5);
    EXPECT_EQ(zalUnrealSettingsWidget::frameSizeIndex(7680, 4320), 7);
    EXPECT_EQ(zalUnrealSettingsWidget::frameSizeIndex(1000, 500), 8);
    EXPECT_EQ(zalUnrealSettingsWidget::frameSizeIndex(0, 0), 8);
    // The label only has to start with "<width>x<height>".
    EXPECT_EQ(zalUnrealSettingsWidget::frameSizeIndex(1280, 10), 4);
    EXPECT_EQ(zalUnrealSettingsWidget::frameSize(3), QSize(1280, 720));
    EXPECT_EQ(zalUnrealSettingsWidget::frameSize(6), QSize(3840, 2160));
    EXPECT_FALSE(zalUnrealSettingsWidget::frameSize(8).isValid());
    EXPECT_FALSE(zalUnrealSettingsWidget::frameSize(-1).isValid());
    for (int i = 0; i < 8; ++i) {
        const QSize size = zalUnrealSettingsWidget::frameSize(i);
        EXPECT_EQ(zalUnrealSettingsWidget::frameSizeIndex(size.width(), size.height()), i) << i;
    }
}

TEST_F(SettingsPanelTest, highPresetStoresTheSixKeysAndAppliesOnce)
{
    openPanel();
    EXPECT_EQ(editor<QComboBox>("CatRayTracing/RTQuality")->currentText(), "Standard");
    EXPECT_EQ(combo("CatRayTracing/RTQuality"), QStringList({"Base", "Standard", "High", "Ultra"}));

    choose("CatRayTracing/RTQuality", "High");
    EXPECT_EQ(stored("RenderSettings/RTQuality"), QVariant(2));
    EXPECT_EQ(stored("RenderSettings/RayTracingReflectionsMaxBounces"), QVariant(2));
    EXPECT_EQ(stored("RenderSettings/RayTracingGIMaxBounces"), QVariant(2));
    EXPECT_EQ(stored("RenderSettings/RayTracingGISamplesPerPixel"), QVariant(16));
    EXPECT_EQ(stored("RenderSettings/RayTracingAOSamplesPerPixel"), QVariant(8));
    EXPECT_EQ(stored("RenderSettings/RayTracingTranslucencyRefractionRays"), QVariant(12));
    EXPECT_EQ(stored("RenderSettings/RayTracingTranslucencySamplesPerPixel"), QVariant(8));
    EXPECT_EQ(postProcessApplications(), 1) << recorder->consoleCommands().join("\n").toStdString();
    EXPECT_EQ(editor<QComboBox>("CatRayTracing/RTQuality")->currentText(), "High");
}

// What a production run sends after the scene file is read again by another process.
QStringList commandsAfterReopening(const QString& sceneFile)
{
    QProcess probe;
    probe.start(QStringLiteral(ZAL_SCENE_FILE_PROBE), {sceneFile});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0) {
        ADD_FAILURE() << "the probe failed: " << probe.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

TEST_F(SettingsPanelTest, pathTracingProductionIsStillOnWhenTheSceneIsReadAgain)
{
    openPanel();
    ASSERT_NE(session->sceneFile(), nullptr);
    QCheckBox* production = editor<QCheckBox>("ImageProduction/ProdPathTrace/ProdPathTracing");
    ASSERT_NE(production, nullptr);
    EXPECT_FALSE(production->isChecked());
    production->click();
    // The page is rebuilt: a new editor shows the stored value.
    EXPECT_TRUE(editor<QCheckBox>("ImageProduction/ProdPathTrace/ProdPathTracing")->isChecked());

    const QStringList reopened = commandsAfterReopening(session->sceneFile()->fileName());
    EXPECT_TRUE(reopened.contains("showflag.pathtracing 1")) << reopened.join('\n').toStdString();
    EXPECT_TRUE(reopened.contains("r.HighResshotDelay 500")) << reopened.join('\n').toStdString();
}

TEST_F(SettingsPanelTest, aPresetWhoseLastKeyAlreadyHoldsItsValueIsAppliedAndSaved)
{
    openPanel();
    ASSERT_NE(session->sceneFile(), nullptr);
    // High's translucency samples (8) were typed in before the preset is chosen.
    module->setSceneSettings("RenderSettings/RayTracingTranslucencySamplesPerPixel", 8, false, true);
    recorder->clear();

    choose("CatRayTracing/RTQuality", "High");
    EXPECT_EQ(postProcessApplications(), 1) << recorder->consoleCommands().join("\n").toStdString();
    const QStringList applied = recorder->consoleCommands().filter("Set PostProcessVolume Settings");
    ASSERT_EQ(applied.size(), 1);
    EXPECT_TRUE(applied[0].contains("RayTracingGISamplesPerPixel=16")) << applied[0].toStdString();

    QStringList reopened = commandsAfterReopening(session->sceneFile()->fileName());
    const QStringList post = reopened.filter("Set PostProcessVolume Settings");
    ASSERT_EQ(post.size(), 1) << reopened.join('\n').toStdString();
    EXPECT_TRUE(post[0].contains("RayTracingGIMaxBounces=2,")) << post[0].toStdString();
    EXPECT_TRUE(post[0].contains("RayTracingGISamplesPerPixel=16")) << post[0].toStdString();
    EXPECT_TRUE(post[0].contains("RayTracingTranslucencySamplesPerPixel=8")) << post[0].toStdString();
}

TEST_F(SettingsPanelTest, editsThroughTheWidgetsStoreTheirSettingsAndApply)
{
    openPanel();
    choose("UE_UiMode", "Expert");
    recorder->clear();

    // double, int, bool under RenderSettings (0/1), bool elsewhere (bool).
    type(editor<QDoubleSpinBox>("Camera/AutoExpBias"), "2.5");
    EXPECT_EQ(stored("Camera/AutoExposureBias"), QVariant(2.5));
    type(editor<QSpinBox>("PathTracing/PT_SamplesPerPixel"), "500");
    EXPECT_EQ(stored("RenderSettings/PT_SamplesPerPixel"), QVariant(500));
    type(editor<QSpinBox>("PathTracing/PT_MaxBounces"), "32");
    EXPECT_EQ(stored("RenderSettings/PT_MaxBounces"), QVariant(32.0));
    editor<QCheckBox>("PathTracing/EnablePathTracing")->click();
    EXPECT_EQ(stored("RenderSettings/EnablePathTracing"), QVariant(1));
    editor<QCheckBox>("Camera/BloomEnabled")->click();
    EXPECT_EQ(stored("Camera/BloomEnabled"), QVariant(true));
    // Bloom's fields follow the switch.
    EXPECT_TRUE(editor<QComboBox>("Camera/BloomMethod")->isEnabled());
    EXPECT_TRUE(editor<QDoubleSpinBox>("Camera/BloomIntensity")->isEnabled());
    EXPECT_EQ(postProcessApplications(), 5);

    choose("Camera/BloomMethod", "Convolution");
    EXPECT_EQ(stored("Camera/BloomMethod"), QVariant("BM_FFT"));
    choose("Camera/AutoExpMethod", "Manual");
    EXPECT_EQ(stored("Camera/AutoExposureMethod"), QVariant(2));
    choose("Shadows/ReflShadowType", "Soft");
    EXPECT_EQ(stored("ToneMapper/ReflShadowType"), QVariant(1));
    type(editor<QDoubleSpinBox>("AmbientOcclusion/AmbientOcclusionMipThreshold"), "0.01234");
    EXPECT_EQ(stored("ToneMapper/AmbientOcclusionMipThreshold"), QVariant(0.01234));
    EXPECT_EQ(editor<QDoubleSpinBox>("AmbientOcclusion/AmbientOcclusionMipThreshold")->decimals(), 5);

    // Ranges from the table reach the spin boxes.
    QSpinBox* fps = editor<QSpinBox>("Camera/MotionBlurTFPS");
    EXPECT_EQ(fps->minimum(), 5);
    EXPECT_EQ(fps->maximum(), 60);
    EXPECT_EQ(fps->singleStep(), 5);
    QDoubleSpinBox* sun = editor<QDoubleSpinBox>("Sky/SunIntensity");
    EXPECT_EQ(sun->decimals(), 2);
    EXPECT_DOUBLE_EQ(sun->maximum(), 100);
    EXPECT_DOUBLE_EQ(editor<QDoubleSpinBox>("Sky/Longitude")->value(), 12.4964);
}

TEST_F(SettingsPanelTest, theSmallestBloomSizeScaleIsShownAndStoredAsItIs)
{
    openPanel();
    QDoubleSpinBox* scale = editor<QDoubleSpinBox>("Camera/BloomScale");
    ASSERT_NE(scale, nullptr);
    if (!scale->isEnabled()) editor<QCheckBox>("Camera/BloomEnabled")->click();
    scale = editor<QDoubleSpinBox>("Camera/BloomScale");
    ASSERT_NE(scale, nullptr);
    ASSERT_TRUE(scale->isEnabled());
    // Two digits would round the limit itself to 0.
    EXPECT_DOUBLE_EQ(scale->minimum(), 0.001);
    type(scale, "0.001");
    EXPECT_EQ(stored("Camera/BloomSizeScale"), QVariant(0.001));
    scale = editor<QDoubleSpinBox>("Camera/BloomScale");
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->cleanText(), "0.001");
}

TEST_F(SettingsPanelTest, numberFieldsShowTheirDefaultsWithinTheirLimits)
{
    openPanel();
    choose("UE_UiMode", "Expert");
    const struct
    {
        const char* path;
        double minimum, maximum, shown;
    } rows[] = {
        {"Camera/AutoExpBias", -150, 150, 1.0},
        {"Camera/DofRegion", 0, 100000, 1.0},
        {"Camera/MotionBlurAmount", 0, 100, 0.5},
        {"Camera/BloomThreshold", -100, 100, -1},
        {"PathTracing/PT_AntialiasFilter", 1, 6, 3.0},
        {"PathTracing/PT_MaxPathExposure", 0, 100, 30},
        {"Sky/Latitude", -90, 90, 41.9028},
        {"Sky/North", -180, 180, 0},
        {"Sky/SunLightSourceAngle", 0, 90, 0.5},
        {"ToneMapper/WhiteTemp", 1000, 10000, 6500},
        {"Shadows/AORadius", 0, 100000, 20},
        {"Shadows/ShadowsFadeThreshold", 0, 128, 64},
        {"AmbientOcclusion/AmbientOcclusionFadeDistance", 0, 1000000, 8000},
        {"AmbientOcclusion/AmbientOcclusionMipScale", 0, 100, 1.7},
        {"FinalGatherQuality", 0, 2, 1.0},
    };
    for (const auto& row : rows) {
        QDoubleSpinBox* field = editor<QDoubleSpinBox>(row.path);
        ASSERT_NE(field, nullptr) << row.path;
        EXPECT_DOUBLE_EQ(field->minimum(), row.minimum) << row.path;
        EXPECT_DOUBLE_EQ(field->maximum(), row.maximum) << row.path;
        EXPECT_NEAR(field->value(), row.shown, 1e-9) << row.path;
    }
    const struct
    {
        const char* path;
        int minimum, maximum, shown;
    } integers[] = {
        {"Camera/MotionBlurTFPS", 5, 60, 30},
        {"PathTracing/PT_SamplesPerPixel", 2, 65536, 250},
        {"PathTracing/PT_MaxBounces", 0, 100, 16},
        {"Sky/SunDiscPower", 0, 1000000, 75000},
        {"ImageProduction/ProdPathTrace/ProdMaxIter", INT_MIN, INT_MAX, 500},
    };
    for (const auto& row : integers) {
        QSpinBox* field = editor<QSpinBox>(row.path);
        ASSERT_NE(field, nullptr) << row.path;
        if (row.minimum != INT_MIN) {
            EXPECT_EQ(field->minimum(), row.minimum) << row.path;
            EXPECT_EQ(field->maximum(), row.maximum) << row.path;
        }
        EXPECT_EQ(field->value(), row.shown) << row.path;
    }
}

TEST_F(SettingsPanelTest, quantitiesShowTheirUnitAndSayWhatTheyAre)
{
    openPanel();
    choose("UE_UiMode", "Expert");
    const struct
    {
        const char* path;
        const char* suffix;
        const char* tip;
    } rows[] = {
        {"Sky/Longitude", " \u00b0", "east positive"},
        {"Sky/Latitude", " \u00b0", "north positive"},
        {"Sky/North", " \u00b0", "north"},
        {"Sky/SunLightSourceAngle", " \u00b0", "shadow edges"},
        {"ToneMapper/WhiteTemp", " K", "white"},
        {"Camera/DofDistance", " cm", "focus"},
        {"Shadows/AORadius", " cm", "occlusion"},
    };
    for (const auto& row : rows) {
        QDoubleSpinBox* field = editor<QDoubleSpinBox>(row.path);
        ASSERT_NE(field, nullptr) << row.path;
        EXPECT_EQ(field->suffix(), QString::fromUtf8(row.suffix)) << row.path;
        EXPECT_TRUE(field->toolTip().contains(QLatin1String(row.tip)))
            << row.path << ": " << field->toolTip().toStdString();
        // The unit is shown, not stored: the value read back is the number alone.
        EXPECT_FALSE(field->cleanText().contains(QString::fromUtf8(row.suffix).trimmed())) << row.path;
    }
    QSpinBox* power = editor<QSpinBox>("Sky/SunDiscPower");
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(power->suffix(), " lx");
    // A plain ratio has no unit.
    QDoubleSpinBox* gamma = editor<QDoubleSpinBox>("ToneMapper/Gamma");
    ASSERT_NE(gamma, nullptr);
    EXPECT_TRUE(gamma->suffix().isEmpty());

    // An edit through a field with a unit stores the number.
    type(editor<QDoubleSpinBox>("Sky/Latitude"), "45.5");
    EXPECT_DOUBLE_EQ(module->getSceneSettings("Sun/Environment/SunLatitude", 0).toDouble(), 45.5);
}

TEST_F(SettingsPanelTest, expertOnlyFirstEntriesOfThreeCombos)
{
    openPanel();
    choose("UE_UiMode", "Advanced");
    // The stored "Disabled" is still shown as the current value, but not offered.
    EXPECT_EQ(editor<QComboBox>("CatRayTracing/RayTracingGIType")->currentText(), "Disabled");
    choose("CatRayTracing/RayTracingGIType", "Brute Force");
    EXPECT_EQ(stored("RenderSettings/RayTracingGIType"), QVariant(2));
    EXPECT_EQ(combo("CatRayTracing/RayTracingGIType"), QStringList({"Final Gather", "Brute Force"}));
    EXPECT_EQ(combo("GIMode"), QStringList({"ScreenSpace", "RayTraced", "Lumen"}));
    EXPECT_EQ(combo("ReflectionsMode"), QStringList({"RayTraced", "Lumen"}));
    choose("ReflectionsMode", "RayTraced");
    EXPECT_EQ(stored("RenderSettings/ReflectionsMode"), QVariant(1));

    choose("UE_UiMode", "Expert");
    EXPECT_EQ(combo("CatRayTracing/RayTracingGIType"),
              QStringList({"Disabled", "Final Gather", "Brute Force"}));
    EXPECT_EQ(combo("ReflectionsMode"), QStringList({"ScreenSpace", "RayTraced", "Lumen"}));
    EXPECT_EQ(combo("TranslucencyMode"), QStringList({"Raster", "Raytracing"}));
    choose("CatRayTracing/RayTracingGIType", "Disabled");
    EXPECT_EQ(stored("RenderSettings/RayTracingGIType"), QVariant(0));
}

TEST_F(SettingsPanelTest, sourceMapsTextsAsTheRulesSay)
{
    openPanel();
    auto* source =
        static_cast<ConfigurablePropBase*>(static_cast<zalUnrealSettingsWidget*>(panel)->propertySource());
    OdPropSource::Action_t action = OdPropSource::kReloadPage;
    // A text matching none of the earlier names gives the last index.
    EXPECT_TRUE(source->setPropertyValue(L"CatRayTracing/RayTracingGIType", L"Whatever", action));
    EXPECT_EQ(action, OdPropSource::kNoAction);
    EXPECT_EQ(stored("RenderSettings/RayTracingGIType"), QVariant(2));
    // An unparsable number stores 0.
    EXPECT_TRUE(source->setPropertyValue(L"Camera/AutoExpBias", L"abc", action));
    EXPECT_EQ(stored("Camera/AutoExposureBias"), QVariant(0.0));
    EXPECT_TRUE(source->setPropertyValue(L"Shadows/AOColor", L"65280", action));
    EXPECT_EQ(stored("ToneMapper/AmbientOcclusionColor"), QVariant(65280.0));
    EXPECT_TRUE(source->setPropertyValue(L"PathTracing/PT_SamplesPerPixel", L"99.9", action));
    EXPECT_EQ(stored("RenderSettings/PT_SamplesPerPixel"), QVariant(99));
    // Weather stores nothing; unknown paths are refused.
    const int keys = session->sceneSettings().size();
    EXPECT_TRUE(source->setPropertyValue(L"Sky/Weather", L"Default", action));
    EXPECT_EQ(session->sceneSettings().size(), keys);
    EXPECT_FALSE(source->setPropertyValue(L"Sky/Nothing", L"1", action));
    EXPECT_FALSE(source->setPropertyValue(L"ImageProduction/ProdFrameSize", L"13x13", action));
    OdArray<OdString> values, second;
    EXPECT_FALSE(source->getPropertyPossibleValues(L"Sky/North", values, second));
    EXPECT_TRUE(source->getPropertyPossibleValues(L"Sky/Weather", values, second));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_TRUE(second.isEmpty());
}

TEST_F(SettingsPanelTest, dateAndTimeFieldsEditTheSunDateAndDropImpossibleDates)
{
    openPanel();
    module->setSceneSettings("Sun/Environment/SunDateTime", QDateTime(QDate(2024, 3, 31), QTime(14, 30, 10)),
                             false, false);
    module->updateSettingsDialog();
    EXPECT_EQ(editor<QSpinBox>("Sky/DateToolbar/DateDay")->value(), 31);
    EXPECT_EQ(editor<QSpinBox>("Sky/DateToolbar/DateDay")->maximum(), 31);
    EXPECT_EQ(editor<QSpinBox>("Sky/TimeToolbar/DateHour")->value(), 14);

    type(editor<QSpinBox>("Sky/TimeToolbar/DateHour"), "9");
    EXPECT_EQ(stored("Sun/Environment/SunDateTime").toDateTime(),
              QDateTime(QDate(2024, 3, 31), QTime(9, 30, 10)));
    // 31 April does not exist: dropped.
    type(editor<QSpinBox>("Sky/DateToolbar/DateMonth"), "4");
    EXPECT_EQ(stored("Sun/Environment/SunDateTime").toDateTime(),
              QDateTime(QDate(2024, 3, 31), QTime(9, 30, 10)));
    type(editor<QSpinBox>("Sky/DateToolbar/DateDay"), "30");
    type(editor<QSpinBox>("Sky/DateToolbar/DateMonth"), "4");
    EXPECT_EQ(stored("Sun/Environment/SunDateTime").toDateTime(),
              QDateTime(QDate(2024, 4, 30), QTime(9, 30, 10)));
    EXPECT_EQ(editor<QSpinBox>("Sky/DateToolbar/DateDay")->maximum(), 30);
}

TEST_F(SettingsPanelTest, consoleCommandGoesToTheViewerAndTheFieldClears)
{
    openPanel();
    choose("UE_UiMode", "Advanced");
    recorder->clear();
    QLineEdit* field = editor<QLineEdit>("Misc/ConsoleCommand");
    type(field, "stat unit");
    EXPECT_EQ(recorder->consoleCommands(), QStringList({"stat unit"}));
    EXPECT_TRUE(editor<QLineEdit>("Misc/ConsoleCommand")->text().isEmpty());
}

TEST_F(SettingsPanelTest, consoleCommandIsDroppedWhileTheViewerStarts)
{
    openPanel(false);
    choose("UE_UiMode", "Advanced");
    type(editor<QLineEdit>("Misc/ConsoleCommand"), "stat unit");
    EXPECT_TRUE(recorder->consoleCommands().isEmpty());
}

TEST_F(SettingsPanelTest, refreshFollowsOutsideChanges)
{
    openPanel();
    module->setSceneSettings("Camera/AutoExposureBias", 3.5, false, false);
    EXPECT_DOUBLE_EQ(editor<QDoubleSpinBox>("Camera/AutoExpBias")->value(), 1.0);
    module->updateSettingsDialog();
    EXPECT_DOUBLE_EQ(editor<QDoubleSpinBox>("Camera/AutoExpBias")->value(), 3.5);

    // Host events reach the panel as well.
    module->setSceneSettings("Camera/AutoExposureBias", -4.0, false, false);
    const int builds = page->buildCount();
    EXPECT_GE(host->fireEvent("<event-refresh:database_changed>"), 1);
    EXPECT_EQ(page->buildCount(), builds + 1);
    EXPECT_DOUBLE_EQ(editor<QDoubleSpinBox>("Camera/AutoExpBias")->value(), -4.0);
}

TEST_F(SettingsPanelTest, pageFollowsTheSessionDatabaseAndThePanelLetsGoWhenDestroyed)
{
    openPanel();
    auto* settings = static_cast<zalUnrealSettingsWidget*>(panel);
    OdPropServicesPtr services = odrxPropServices();
    ASSERT_FALSE(services.isNull());
    const OdString pageId(settings->pageId().toStdWString());
    EXPECT_EQ(page->objectName(), settings->pageId());
    EXPECT_EQ(page->title(), "Properties");
    EXPECT_NE(page->findChild<QScrollArea*>(), nullptr);
    // A value changed behind the panel's back shows once the module says the settings changed.
    session->sceneSettings().insert("Camera/AutoExposureBias", 7.5);
    module->updateSettingsDialog();
    EXPECT_DOUBLE_EQ(editor<QDoubleSpinBox>("Camera/AutoExpBias")->value(), 7.5);
    EXPECT_EQ(services->pageDatabase(pageId), static_cast<OdRxObject*>(db.get()));
    for (const char* event : {"<event-refresh:view_changed>", "<event-refresh:database_changed>"})
        EXPECT_TRUE(host->events()->subscribers(event).contains("zalUnrealSettingsWidget")) << event;

    OdRxObjectPtr source = settings->propertySource();
    ASSERT_EQ(source->numRefs(), 3); // the panel, the page and this test
    delete panel;
    panel = nullptr;
    EXPECT_EQ(source->numRefs(), 1);
    for (const char* event : {"<event-refresh:view_changed>", "<event-refresh:database_changed>"})
        EXPECT_FALSE(host->events()->subscribers(event).contains("zalUnrealSettingsWidget")) << event;
    // The module's signal no longer reaches a panel: no page comes back for it.
    module->updateSettingsDialog();
    QCoreApplication::processEvents();
    EXPECT_EQ(services->pageDatabase(pageId), nullptr);
    EXPECT_EQ(source->numRefs(), 1);
}

TEST_F(SettingsPanelTest, occlusionColourIsPickedInTheColourDialog)
{
    openPanel();
    choose("UE_UiMode", "Advanced");
    QPushButton* color = editor<QPushButton>("Shadows/AOColor");
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(color->text(), "#808080");
    color->click();
    auto* dialog = page->findChild<QColorDialog*>("Shadows/AOColor:dialog");
    ASSERT_NE(dialog, nullptr);
    dialog->setCurrentColor(QColor(255, 0, 0));
    dialog->accept();
    EXPECT_EQ(stored("ToneMapper/AmbientOcclusionColor"), QVariant(255.0));
    EXPECT_EQ(editor<QPushButton>("Shadows/AOColor")->text(), "#ff0000");
}

TEST_F(SettingsPanelTest, withoutPropertyServicesThePanelIsEmpty)
{
    zalPropEditorServices::unregisterServices();
    openPanel(true, false);
    auto* settings = static_cast<zalUnrealSettingsWidget*>(panel);
    EXPECT_TRUE(settings->pageId().isEmpty());
    EXPECT_EQ(page, nullptr);
    EXPECT_TRUE(panel->findChildren<QWidget*>().isEmpty());
    // Refreshing has nothing to draw and must not fail.
    module->updateSettingsDialog();
    EXPECT_TRUE(panel->findChildren<QWidget*>().isEmpty());
}

// The export: the test plays the viewer, writing a real PNG where the screenshot command says.
class SettingsPanelExportTest : public SettingsPanelTest
{
protected:
    // Writes a PNG at the file named by the last "HighResShot" command; false when there is none.
    bool playViewerWritingScreenshot()
    {
        const QStringList shots = highResShots();
        if (shots.isEmpty()) return false;
        QRegularExpressionMatch match = QRegularExpression("filename=\"(.*)\"$").match(shots.last());
        if (!match.hasMatch()) return false;
        QImage image(64, 32, QImage::Format_RGB32);
        image.fill(QColor(200, 40, 10));
        return image.save(match.captured(1), "PNG");
    }

    void recordStateDuringWait(bool viewerWrites)
    {
        host->onWait = [this, viewerWrites](const QString& path, int timeoutMs) {
            existedBeforeViewer = QFileInfo::exists(path);
            stateDuringWait = zalExecutionStateNow();
            QWidget* widget = module->activeWidget();
            producingDuringWait = widget && widget->property("Producing").toBool();
            if (!viewerWrites) return false;
            playViewerWritingScreenshot();
            return host->zalHostApplication::waitForFile(path, timeoutMs);
        };
    }

    void clickExport()
    {
        QTest::mouseClick(editor<QPushButton>("ImageProduction/ProdExportImage"), Qt::LeftButton);
    }

    bool existedBeforeViewer = true;
    unsigned stateDuringWait = 0;
    bool producingDuringWait = false;
};

TEST_F(SettingsPanelExportTest, jpegIsAskedAsPngConvertedAndThePngDeleted)
{
    openPanel();
    const QString jpeg = dir.filePath("shot.jpg");
    const QString png = dir.filePath("shot.png");
    // A stale screenshot of the same name goes first.
    QFile stale(png);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("old");
    stale.close();
    host->queueSaveFileNames({jpeg});
    recordStateDuringWait(true);
    // The status bar's busy indicator follows the host's progress signals.
    QStringList progress;
    QObject::connect(host.get(), &zalHostApplication::progressStarted,
                     [&](const QString& t) { progress << "+" + t; });
    QObject::connect(host.get(), &zalHostApplication::progressFinished,
                     [&](const QString& t) { progress << "-" + t; });

    clickExport();
    EXPECT_EQ(progress, QStringList({"+Waiting for shot.png", "-Waiting for shot.png"}));
    ASSERT_EQ(host->waits.size(), 1);
    EXPECT_EQ(host->waits[0].first, png);
    EXPECT_EQ(host->waits[0].second, 60000);
    EXPECT_FALSE(existedBeforeViewer);
    EXPECT_EQ(highResShots(), QStringList({QString("HighResShot 1920x1080 filename=\"%1\"").arg(png)}));
    EXPECT_TRUE(producingDuringWait);
    EXPECT_EQ(stateDuringWait,
              unsigned(ZAL_ES_CONTINUOUS | ZAL_ES_SYSTEM_REQUIRED | ZAL_ES_AWAYMODE_REQUIRED));
    // Restored at once; the conversion follows half a second later on the event loop.
    EXPECT_EQ(zalExecutionStateNow(), unsigned(ZAL_ES_CONTINUOUS));
    EXPECT_FALSE(module->activeWidget()->property("Producing").toBool());
    EXPECT_TRUE(QFileInfo::exists(png));
    EXPECT_FALSE(QFileInfo::exists(jpeg));

    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(jpeg) && !QFileInfo::exists(png); }));
    QImageReader reader(jpeg);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    QFile file(jpeg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(3) == QByteArray("\xff\xd8\xff", 3));
    EXPECT_EQ(reader.read().size(), QSize(64, 32));
    // The host's command history says what was written, once the converted file is there.
    EXPECT_TRUE(waitFor([&] {
        return host->console()->transcript().contains(QString("Export Image: wrote %1 (64 x 32).").arg(jpeg));
    })) << host->console()->transcript().join("\n").toStdString();
}

TEST_F(SettingsPanelExportTest, pngIsKeptAsTheViewerWroteItAtTheChosenSize)
{
    openPanel();
    choose("ImageProduction/ProdFrameSize", "Custom Size");
    type(editor<QSpinBox>("ImageProduction/ProdCustomSize/ProdFrameWidth"), "1000");
    type(editor<QSpinBox>("ImageProduction/ProdCustomSize/ProdFrameHeight"), "500");
    recorder->clear();
    const QString png = dir.filePath("Plain Name.PNG");
    host->queueSaveFileNames({png});
    recordStateDuringWait(true);
    clickExport();
    const QString written = dir.filePath("Plain Name.png");
    EXPECT_EQ(highResShots(), QStringList({QString("HighResShot 1000x500 filename=\"%1\"").arg(written)}));
    spin(800);
    EXPECT_TRUE(QFileInfo::exists(written));
    EXPECT_EQ(QImageReader(written).format(), QByteArray("png"));
    EXPECT_EQ(QDir(dir.path()).entryList({"Plain Name.*"}, QDir::Files).size(), 1);
    EXPECT_TRUE(
        host->console()->transcript().contains(QString("Export Image: wrote %1 (64 x 32).").arg(written)))
        << host->console()->transcript().join("\n").toStdString();
}

TEST_F(SettingsPanelExportTest, cancelledDialogChangesNothing)
{
    openPanel();
    recordStateDuringWait(true);
    const QVariant stateBefore = qApp->property("zalExecutionState");
    clickExport();
    EXPECT_TRUE(host->waits.isEmpty());
    EXPECT_TRUE(recorder->consoleCommands().isEmpty())
        << recorder->consoleCommands().join("\n").toStdString();
    EXPECT_FALSE(module->activeWidget()->property("Producing").toBool());
    EXPECT_EQ(qApp->property("zalExecutionState"), stateBefore);
}

TEST_F(SettingsPanelExportTest, timeOutRestoresTheProductionStateThatWasThere)
{
    openPanel();
    module->setProductionMode(true, true, false, false);
    QWidget* widget = module->activeWidget();
    ASSERT_TRUE(widget->property("Producing").toBool());
    host->queueSaveFileNames({dir.filePath("late.jpg")});
    recordStateDuringWait(false);
    recorder->clear();

    clickExport();
    ASSERT_EQ(host->waits.size(), 1);
    EXPECT_EQ(host->waits[0].second, 60000);
    EXPECT_EQ(stateDuringWait,
              unsigned(ZAL_ES_CONTINUOUS | ZAL_ES_SYSTEM_REQUIRED | ZAL_ES_AWAYMODE_REQUIRED));
    EXPECT_TRUE(widget->property("Producing").toBool());
    EXPECT_TRUE(widget->property("ProducingAnimation").toBool());
    EXPECT_FALSE(widget->property("ProducingPreview").toBool());
    EXPECT_EQ(zalExecutionStateNow(), unsigned(ZAL_ES_CONTINUOUS));
    spin(800);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("late.jpg")));
}

TEST_F(SettingsPanelExportTest, unreachableViewerEndsTheExportWithoutWaiting)
{
    openPanel(false);
    host->queueSaveFileNames({dir.filePath("never.png")});
    recordStateDuringWait(true);
    clickExport();
    EXPECT_TRUE(host->waits.isEmpty());
    EXPECT_TRUE(highResShots().isEmpty());
    EXPECT_EQ(zalExecutionStateNow(), unsigned(ZAL_ES_CONTINUOUS));
}

} // namespace
