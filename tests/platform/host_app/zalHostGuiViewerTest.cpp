// The main window as a user meets it, with the render module and the real viewer (under Xvfb): a click
// on the sample's pool selects the pool, an erase answered by a click removes it from the drawing and
// from the viewer's scene. Screenshots of the window are kept in <build>/artifacts/host_gui.
#include "fountain/zalDbWaterFountain.h"
#include "zalCommandLine.h"
#include "zalDocumentManager.h"
#include "zalDrawingTab.h"
#include "zalDrawingView.h"
#include "zalGripController.h"
#include "zalHostApplication.h"
#include "zalHostCommands.h"
#include "zalHostConsole.h"
#include "zalHostMainWindow.h"
#include "zalPropEditorServices.h"
#include "zalSelectionController.h"

#include "IzalUnrealRenderModule.h"
#include "tests/common/zalEventLoop.h"

#include "DbBlockTableRecord.h"
#include "DbEntity.h"
#include "DbLayerTableRecord.h"
#include "DbObjectIterator.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <memory>
#include <sys/types.h>

namespace {

int s_argc = 1;
char s_name[] = "zalHostGuiViewerTest";
char* s_argv[] = {s_name, nullptr};

QString handleOf(const OdDbObjectId& id)
{
    return QString::fromStdString(id.getHandle().ascii().toUtf8());
}

QString artifactsDir()
{
    QDir dir(QCoreApplication::applicationDirPath());
    dir.cdUp();
    dir.mkpath(QStringLiteral("artifacts/host_gui"));
    return dir.filePath(QStringLiteral("artifacts/host_gui"));
}

// The first model-space entity on a layer.
OdDbObjectId entityOnLayer(OdDbDatabase* db, const char* layer)
{
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject();
    for (OdDbObjectIteratorPtr it = ms->newIterator(); !it->done(); it->step()) {
        OdDbEntityPtr e = it->entity();
        OdDbLayerTableRecordPtr l = e->layerId().safeOpenObject();
        if (l->getName() == OdString(layer)) return e->objectId();
    }
    return OdDbObjectId();
}

class HostGui : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        zalHostOptions options;
        options.variablesFile = s_dir->filePath(QStringLiteral("vars/zalhost.ini"));
        options.temporaryRoot = s_dir->filePath(QStringLiteral("temp"));
        options.materialLibraryRoot = s_dir->filePath(QStringLiteral("MaterialLibrary"));
        options.interactive = false;
        s_app = new zalHostApplication(s_argc, s_argv, options);
        zalPropEditorServices::registerServices();
        zalHostCommands::registerAll();
        s_documents = new zalDocumentManager(s_app);
        QString message;
        s_moduleLoaded = s_documents->loadRenderModule(&message);
        s_moduleMessage = message;
    }
    static void TearDownTestSuite()
    {
        delete s_documents;
        zalHostCommands::unregisterAll();
        zalPropEditorServices::unregisterServices();
        delete s_app;
    }

    void SetUp() override
    {
        ASSERT_FALSE(qgetenv("DISPLAY").isEmpty()) << "needs an X server (xvfb-run)";
        ASSERT_TRUE(s_moduleLoaded) << s_moduleMessage.toStdString();
        window.reset(new zalHostMainWindow(s_app, s_documents));
        window->resize(1280, 800);
        window->show();
    }
    void TearDown() override { window.reset(); }

    // Opens a copy of the sample and waits for the viewer's first synchronisation.
    OdDbDatabase* openSample()
    {
        const QString copy = s_dir->filePath(QStringLiteral("pavilion.dxf"));
        QFile::remove(copy);
        QFile::copy(QString::fromLocal8Bit(qgetenv("ZAL_SOURCE_DIR")) +
                        QStringLiteral("/samples/pavilion.dxf"),
                    copy);
        bool synced = false;
        auto connection = QObject::connect(s_app, &zalHostApplication::progressFinished,
                                           [&synced](const QString&) { synced = true; });
        QString message;
        OdDbDatabase* db = s_documents->openDrawing(copy, &message);
        EXPECT_NE(db, nullptr) << message.toStdString();
        EXPECT_TRUE(waitFor([&] { return synced; }, 120000)) << "no first synchronisation";
        QObject::disconnect(connection);
        spin(1000); // the viewer applies the first transaction as a whole
        return db;
    }

    // The viewer's scene, as it dumps it now.
    QJsonObject dumpScene(const QString& name)
    {
        const QString path = s_dir->filePath(name);
        QFile::remove(path);
        s_documents->renderModule()->sendViewerConsoleCommand(
            QStringLiteral("zal.dumpscene \"%1\"").arg(path));
        QJsonObject scene;
        waitFor(
            [&] {
                QFile f(path);
                if (!f.open(QIODevice::ReadOnly)) return false;
                const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
                if (doc.isNull()) return false;
                scene = doc.object();
                return true;
            },
            60000);
        if (scene.contains(QStringLiteral("scene"))) scene = scene.value(QStringLiteral("scene")).toObject();
        return scene;
    }

    // What the viewer holds, by kind: the names of its instances, meshes, materials and lights.
    static QMap<QString, QStringList> contentOf(const QJsonObject& scene)
    {
        QMap<QString, QStringList> content;
        for (const char* array : {"instances", "meshes", "materials", "lights", "components"}) {
            QStringList names;
            for (const QJsonValue& v : scene.value(QLatin1String(array)).toArray())
                names << v.toObject().value(QStringLiteral("name")).toString();
            names.sort();
            content.insert(QLatin1String(array), names);
        }
        return content;
    }

    static bool sceneNames(const QJsonObject& scene, const QString& handle)
    {
        for (const char* array : {"instances", "meshes"})
            for (const QJsonValue& v : scene.value(QLatin1String(array)).toArray())
                if (v.toObject().value(QStringLiteral("name")).toString().contains(QLatin1Char('_') + handle))
                    return true;
        return false;
    }

    void screenshot(const QString& name)
    {
        QCoreApplication::processEvents();
        const QString path = QDir(artifactsDir()).filePath(name);
        // From the X server, so the viewer's embedded window is in the picture too.
        QScreen* screen = window->screen();
        ASSERT_NE(screen, nullptr);
        EXPECT_TRUE(screen->grabWindow(window->winId()).save(path)) << path.toStdString();
    }

    static inline QTemporaryDir* s_dir = new QTemporaryDir;
    static inline zalHostApplication* s_app = nullptr;
    static inline zalDocumentManager* s_documents = nullptr;
    static inline bool s_moduleLoaded = false;
    static inline QString s_moduleMessage;
    std::unique_ptr<zalHostMainWindow> window;
};

} // namespace

TEST_F(HostGui, SettingsDockComesBackFromTheViewMenuAndTheLayoutReset)
{
    QDockWidget* dock = window->settingsDock();
    ASSERT_NE(dock->widget(), nullptr) << "the module gave no settings panel";
    ASSERT_TRUE(dock->isVisible());
    dock->close();
    ASSERT_FALSE(dock->isVisible());
    QAction* toggle = nullptr;
    for (QAction* action : window->menuBar()->actions())
        if (action->menu() && action->text().remove(QLatin1Char('&')) == QLatin1String("View"))
            for (QAction* entry : action->menu()->actions())
                if (entry->objectName() == QLatin1String("settingsDockToggle")) toggle = entry;
    ASSERT_NE(toggle, nullptr) << "no View menu entry for the settings dock";
    EXPECT_FALSE(toggle->isChecked());
    toggle->trigger();
    EXPECT_TRUE(dock->isVisible());

    dock->setFloating(true);
    dock->close();
    window->resetLayout();
    EXPECT_TRUE(dock->isVisible());
    EXPECT_FALSE(dock->isFloating());
    EXPECT_EQ(window->dockWidgetArea(dock), Qt::RightDockWidgetArea);
}

TEST_F(HostGui, KilledViewerIsToldInTheTabAndRestartedWithTheSameScene)
{
    OdDbDatabase* db = openSample();
    ASSERT_NE(db, nullptr);
    zalDrawingTab* tab = window->currentTab();
    ASSERT_TRUE(waitFor([&] { return tab->viewerProcess() != 0; }, 10000)) << "the tab never knew its viewer";
    const long pid = tab->viewerProcess();
    const QMap<QString, QStringList> before = contentOf(dumpScene(QStringLiteral("restart-before.json")));
    ASSERT_FALSE(before.value(QStringLiteral("meshes")).isEmpty());

    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(waitFor([&] { return tab->viewerBanner()->isVisible(); }, 20000));
    EXPECT_TRUE(tab->viewerProblem().contains(QStringLiteral("the viewer process %1 ended").arg(pid)))
        << tab->viewerProblem().toStdString();
    EXPECT_TRUE(window->commandLine()->history().contains(QStringLiteral("ended")));
    screenshot(QStringLiteral("04-viewer-ended.png"));

    bool synced = false;
    auto connection = QObject::connect(s_app, &zalHostApplication::progressFinished,
                                       [&synced](const QString&) { synced = true; });
    auto* restart = tab->viewerBanner()->findChild<QPushButton*>(QStringLiteral("restartViewer"));
    ASSERT_NE(restart, nullptr);
    QTest::mouseClick(restart, Qt::LeftButton);
    EXPECT_FALSE(tab->viewerBanner()->isVisible());
    ASSERT_TRUE(waitFor([&] { return synced; }, 120000)) << "the new viewer never synchronised";
    QObject::disconnect(connection);
    spin(1000);
    EXPECT_NE(tab->viewerProcess(), pid);
    EXPECT_NE(tab->viewerProcess(), 0);
    const QMap<QString, QStringList> after = contentOf(dumpScene(QStringLiteral("restart-after.json")));
    for (auto it = before.begin(); it != before.end(); ++it)
        EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
    screenshot(QStringLiteral("05-viewer-restarted.png"));
}

namespace {

// The translation of the placed fountain's instance in the viewer (row-order matrix), and whether there
// is one.
bool fountainTranslation(const QJsonObject& scene, double t[3])
{
    for (const QJsonValue& v : scene.value(QStringLiteral("instances")).toArray()) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("asset")).toString() != QLatin1String("ConfigurableWaterFountain"))
            continue;
        const QJsonArray m = o.value(QStringLiteral("transform")).toArray();
        if (m.size() != 16) return false;
        t[0] = m.at(3).toDouble();
        t[1] = m.at(7).toDouble();
        t[2] = m.at(11).toDouble();
        return true;
    }
    return false;
}

OdGePoint3d fountainPosition(const OdDbObjectId& id)
{
    OdDbObjectPtr object = id.safeOpenObject();
    OdGePoint3d p = OdGePoint3d::kOrigin;
    if (auto* fountain = dynamic_cast<zalDbWaterFountain*>(object.get()))
        p.transformBy(fountain->transform());
    return p;
}

} // namespace

TEST_F(HostGui, FountainPlacedByAClickAndMovedByItsGripMovesInTheViewer)
{
    OdDbDatabase* db = openSample();
    ASSERT_NE(db, nullptr);
    zalDrawingView* view = window->currentTab()->drawingView();
    zalCommandLine* line = window->commandLine();
    QPointF place, target;
    ASSERT_TRUE(view->project(OdGePoint3d(3, -8, 0), place));
    ASSERT_TRUE(view->project(OdGePoint3d(7, -8, 0), target));

    // The placement's point prompt answered by a click on the ground.
    QTimer::singleShot(100, [&] {
        EXPECT_EQ(s_app->console()->promptKind(), zalHostConsole::PointPrompt);
        QTest::mouseMove(view, place.toPoint());
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, place.toPoint());
    });
    line->submit(QStringLiteral("fountain_create"));
    const OdDbObjectId fountain = s_app->console()->lastPlacedObject();
    ASSERT_FALSE(fountain.isNull()) << line->history().toStdString();
    const OdGePoint3d placed = fountainPosition(fountain);
    EXPECT_NEAR(placed.x, 3, 0.15);
    EXPECT_NEAR(placed.y, -8, 0.15);
    EXPECT_NEAR(placed.z, 0, 1e-6);
    double before[3] = {0, 0, 0};
    ASSERT_TRUE(waitFor(
        [&] { return fountainTranslation(dumpScene(QStringLiteral("fountain-1.json")), before); }, 30000))
        << "the viewer never had the fountain";

    window->selectionController()->setSelection(view, {fountain});
    const std::vector<OdGePoint3d> grips = window->gripController()->gripPoints();
    ASSERT_EQ(grips.size(), 1u);
    EXPECT_TRUE(grips.front().isEqualTo(placed));
    QPointF grip;
    ASSERT_TRUE(view->project(grips.front(), grip));
    screenshot(QStringLiteral("06-fountain-selected.png"));
    // The warm grip glyph is drawn in its colour (blue for a square) at the grip.
    const QImage picture = view->grab().toImage();
    const QRgb at = picture.pixel(grip.toPoint());
    EXPECT_TRUE(qBlue(at) > 200 && qRed(at) < 80 && qGreen(at) < 80) << std::hex << at;

    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, grip.toPoint());
    EXPECT_TRUE(window->gripController()->isDragging());
    for (int step = 1; step <= 8; ++step)
        QTest::mouseMove(view, (grip + (target - grip) * (step / 8.0)).toPoint());
    screenshot(QStringLiteral("07-fountain-grip-dragged.png"));
    // Nothing moves in the drawing before the release.
    EXPECT_TRUE(fountainPosition(fountain).isEqualTo(placed));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, target.toPoint());
    EXPECT_FALSE(window->gripController()->isDragging());

    const OdGePoint3d moved = fountainPosition(fountain);
    EXPECT_NEAR(moved.x, 7, 0.15);
    EXPECT_NEAR(moved.y, -8, 0.15);
    EXPECT_NEAR(moved.z, 0, 1e-6);
    EXPECT_TRUE(line->history().contains(QStringLiteral("Moved zalDbWaterFountain")))
        << line->history().toStdString();
    // The viewer's instance follows: drawing units cross as centimetres with X mirrored.
    double after[3] = {0, 0, 0};
    const OdGeVector3d d = moved - placed;
    EXPECT_TRUE(waitFor(
        [&] {
            return fountainTranslation(dumpScene(QStringLiteral("fountain-2.json")), after) &&
                   std::fabs(after[0] - before[0] + 100 * d.x) < 1.0 &&
                   std::fabs(after[1] - before[1] - 100 * d.y) < 1.0 &&
                   std::fabs(after[2] - before[2] - 100 * d.z) < 1.0;
        },
        30000))
        << "viewer instance at " << after[0] << "," << after[1] << "," << after[2] << " from " << before[0]
        << "," << before[1] << "," << before[2];
    screenshot(QStringLiteral("08-fountain-moved.png"));
}

TEST_F(HostGui, ClickOnThePoolSelectsItAndAnEraseByClickTakesItFromTheViewer)
{
    OdDbDatabase* db = openSample();
    ASSERT_NE(db, nullptr);
    const OdDbObjectId pool = entityOnLayer(db, "Water");
    ASSERT_FALSE(pool.isNull());
    const QString handle = handleOf(pool);
    ASSERT_TRUE(sceneNames(dumpScene(QStringLiteral("before.json")), handle))
        << "the viewer never had the pool";

    zalDrawingView* view = window->currentTab()->drawingView();
    QPointF centre;
    ASSERT_TRUE(view->project(OdGePoint3d(10, 0, 0.05), centre)); // the middle of the pool's water
    screenshot(QStringLiteral("01-sample-opened.png"));

    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    ASSERT_EQ(window->selectionController()->selection().size(), 1u);
    EXPECT_EQ(handleOf(window->selectionController()->selection().front()), handle);
    screenshot(QStringLiteral("02-pool-selected.png"));

    zalCommandLine* line = window->commandLine();
    QTimer::singleShot(100,
                       [&] { QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, centre.toPoint()); });
    line->submit(QStringLiteral("erase"));
    EXPECT_TRUE(pool.isErased()) << line->history().toStdString();
    EXPECT_TRUE(window->selectionController()->selection().empty());
    EXPECT_TRUE(waitFor([&] { return !sceneNames(dumpScene(QStringLiteral("after.json")), handle); }, 30000))
        << "the viewer still holds the pool";
    screenshot(QStringLiteral("03-pool-erased.png"));
}
