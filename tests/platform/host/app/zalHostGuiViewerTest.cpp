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
#include "zalHostViewerMonitor.h"
#include "zalPropEditorServices.h"
#include "zalSelectionController.h"

#include "IzalUnrealRenderModule.h"
#include "tests/common/zalEventLoop.h"
#include "tests/common/zalTestHost.h"

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
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <memory>
#include <sys/types.h>

namespace {

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
        // One host for the whole suite.
        s_app = zalTestHost::make(zalTestHost::options(*s_dir)).release();
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

    // The frame the viewer's window shows now.
    QImage viewerWindow(const QString& name)
    {
        const QString path = s_dir->filePath(name);
        QFile::remove(path);
        s_documents->renderModule()->sendViewerConsoleCommand(
            QStringLiteral("zal.SaveWindow \"%1\"").arg(path));
        QImage image;
        waitFor([&] { return image.load(path); }, 60000);
        return image;
    }

    // Pixels of the viewer's outline colour (an orange no material of the sample has).
    static int outlinePixels(const QImage& image)
    {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                if (qRed(c) > 235 && qGreen(c) > 140 && qGreen(c) < 180 && qBlue(c) < 70) ++count;
            }
        return count;
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

TEST_F(HostGui, KilledViewerComesBackWhenTheDrawingIsClosedAndOpenedAgain)
{
    OdDbDatabase* db = openSample();
    ASSERT_NE(db, nullptr);
    zalDrawingTab* tab = window->currentTab();
    ASSERT_TRUE(waitFor([&] { return tab->viewerProcess() != 0; }, 10000)) << "the tab never knew its viewer";
    const long pid = tab->viewerProcess();
    const QMap<QString, QStringList> before = contentOf(dumpScene(QStringLiteral("reopen-before.json")));
    ASSERT_FALSE(before.value(QStringLiteral("meshes")).isEmpty());

    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(waitFor([&] { return tab->viewerBanner()->isVisible(); }, 20000));
    const QString path = tab->path();
    // The tab's close button, as a user closes it (the drawing is unchanged: nothing to ask).
    emit window->tabs()->tabCloseRequested(window->tabs()->indexOf(tab));
    ASSERT_EQ(window->tabs()->count(), 0);

    OdDbDatabase* again = openSample();
    ASSERT_NE(again, nullptr);
    zalDrawingTab* reopened = window->currentTab();
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->path(), path);
    ASSERT_TRUE(waitFor([&] { return reopened->viewerProcess() != 0; }, 10000))
        << "no viewer for the new tab";
    EXPECT_NE(reopened->viewerProcess(), pid);
    EXPECT_FALSE(reopened->viewerBanner()->isVisible());
    const QMap<QString, QStringList> after = contentOf(dumpScene(QStringLiteral("reopen-after.json")));
    // Names are "<drawing tag>_<class>_<handle>" (meshes add their material's): the reopened drawing
    // has a tag of its own, but the file keeps the handles, so the rest of every name comes back.
    const auto untagged = [](QStringList names) {
        for (QString& name : names)
            name = name.replace(QRegularExpression(QStringLiteral("(^|_)[^_]+_(?=(AcDb|zalDb|Od))")),
                                QStringLiteral("\\1"));
        names.sort();
        return names.join(QLatin1Char(' ')).toStdString();
    };
    for (auto it = before.begin(); it != before.end(); ++it)
        EXPECT_EQ(untagged(after.value(it.key())), untagged(it.value())) << it.key().toStdString();
}

namespace {

// What the viewer was sent, counted from its own dump: instances and lights, and the triangles of its
// meshes (a face of n corners is n - 2 triangles; the corners of all faces add up to the vertices).
void countScene(const QJsonObject& scene, quint64& entities, quint64& triangles)
{
    entities = quint64(scene.value(QStringLiteral("instances")).toArray().size() +
                       scene.value(QStringLiteral("lights")).toArray().size());
    triangles = 0;
    for (const QJsonValue& v : scene.value(QStringLiteral("meshes")).toArray()) {
        const QJsonObject mesh = v.toObject();
        triangles += quint64(mesh.value(QStringLiteral("vertexCount")).toInt() -
                             2 * mesh.value(QStringLiteral("faceCount")).toInt());
    }
}

} // namespace

TEST_F(HostGui, FirstSynchronisationCountsAndViewerFaultsReachTheCommandHistory)
{
    // What the status bar says each time the module sends something, until the synchronisation ends.
    QStringList shown;
    bool finished = false;
    auto* status = window->findChild<QLabel*>(QStringLiteral("statusText"));
    ASSERT_NE(status, nullptr);
    auto watch = QObject::connect(s_app->viewerMonitor(), &zalHostViewerMonitor::sent,
                                  [&](OdDbDatabase*, quint64, quint64) {
                                      if (!finished) shown << status->text();
                                  });
    auto end = QObject::connect(s_app, &zalHostApplication::progressFinished,
                                [&](const QString&) { finished = true; });
    OdDbDatabase* db = openSample();
    QObject::disconnect(watch);
    QObject::disconnect(end);
    ASSERT_NE(db, nullptr);
    const QRegularExpression counts(
        QStringLiteral("Synchronizing Scene: (sent )?([0-9,.]+) entities, ([0-9,.]+) triangles"));
    EXPECT_TRUE(
        std::any_of(shown.begin(), shown.end(), [&](const QString& t) { return counts.match(t).hasMatch(); }))
        << "the status bar showed no counts while synchronising: " << shown.join(" | ").toStdString();

    zalCommandLine* line = window->commandLine();
    const QRegularExpressionMatch summary = counts.match(line->history());
    ASSERT_TRUE(summary.hasMatch()) << line->history().toStdString();
    const auto number = [](QString text) {
        return text.remove(QRegularExpression(QStringLiteral("[^0-9]"))).toULongLong();
    };
    quint64 entities = 0, triangles = 0;
    countScene(dumpScene(QStringLiteral("counts.json")), entities, triangles);
    EXPECT_GT(triangles, 0u);
    EXPECT_EQ(number(summary.captured(2)), entities);
    EXPECT_EQ(number(summary.captured(3)), triangles);

    // A console line the viewer does not know, typed by the user, comes back as the viewer's answer.
    line->submit(QStringLiteral("unrealcommand frobnicate 1"));
    EXPECT_TRUE(waitFor(
        [&] {
            return line->history().contains(
                QStringLiteral("Viewer of pavilion.dxf: unknown console command: frobnicate 1"));
        },
        30000))
        << line->history().toStdString();

    // A picture the viewer cannot write: its folder would be inside a file.
    const QString blocker = s_dir->filePath(QStringLiteral("not-a-folder"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    line->submit(QStringLiteral("unrealcommand HighResShot 64x32 filename=\"%1/shot.png\"").arg(blocker));
    EXPECT_TRUE(waitFor(
        [&] {
            return line->history().contains(
                QStringLiteral("HighResShot: cannot write %1/shot.png").arg(blocker));
        },
        60000))
        << line->history().toStdString();
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
    // The placement said what it placed and where.
    const QRegularExpressionMatch said =
        QRegularExpression(
            QStringLiteral("Placed zalDbWaterFountain %1 at ([-0-9.e]+), ([-0-9.e]+), ([-0-9.e]+)\\.")
                .arg(handleOf(fountain)))
            .match(line->history());
    ASSERT_TRUE(said.hasMatch()) << line->history().toStdString();
    EXPECT_NEAR(said.captured(1).toDouble(), placed.x, 1e-4);
    EXPECT_NEAR(said.captured(2).toDouble(), placed.y, 1e-4);
    EXPECT_NEAR(said.captured(3).toDouble(), placed.z, 1e-4);

    // One undo takes back the drag alone: the fountain is still there, where it was placed, and so is
    // its instance in the viewer.
    window->undo();
    // (An undone placement takes the fountain out of the drawing: its id opens nothing.)
    ASSERT_FALSE(fountain.openObject().isNull()) << "the undo took the placement back with the drag";
    EXPECT_TRUE(fountainPosition(fountain).isEqualTo(placed, OdGeTol(1e-9)));
    double undone[3] = {0, 0, 0};
    EXPECT_TRUE(waitFor(
        [&] {
            return fountainTranslation(dumpScene(QStringLiteral("fountain-3.json")), undone) &&
                   std::fabs(undone[0] - before[0]) < 1.0 && std::fabs(undone[1] - before[1]) < 1.0 &&
                   std::fabs(undone[2] - before[2]) < 1.0;
        },
        30000))
        << "viewer instance at " << undone[0] << "," << undone[1] << "," << undone[2];
    // The next undo takes the placement.
    window->undo();
    EXPECT_TRUE(fountain.openObject().isNull()) << line->history().toStdString();
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

    const int outlinedBefore = outlinePixels(viewerWindow(QStringLiteral("window-before.png")));

    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    ASSERT_EQ(window->selectionController()->selection().size(), 1u);
    EXPECT_EQ(handleOf(window->selectionController()->selection().front()), handle);
    // The viewer is told which instance is selected and outlines it in its window.
    const auto highlighted = [&](const QString& file) {
        return dumpScene(file)
            .value(QStringLiteral("settings"))
            .toObject()
            .value(QStringLiteral("highlighted"))
            .toArray();
    };
    QJsonArray lit;
    EXPECT_TRUE(waitFor([&] { return !(lit = highlighted(QStringLiteral("lit.json"))).isEmpty(); }, 30000));
    ASSERT_EQ(lit.size(), 1);
    EXPECT_TRUE(lit.at(0).toString().endsWith(QLatin1Char('_') + handle))
        << lit.at(0).toString().toStdString();
    const QImage outlined = viewerWindow(QStringLiteral("window-selected.png"));
    outlined.save(QDir(artifactsDir()).filePath(QStringLiteral("02b-viewer-pool-outlined.png")));
    EXPECT_GT(outlinePixels(outlined), outlinedBefore + 300) << outlinedBefore;
    screenshot(QStringLiteral("02-pool-selected.png"));

    zalCommandLine* line = window->commandLine();
    QTimer::singleShot(100,
                       [&] { QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, centre.toPoint()); });
    line->submit(QStringLiteral("erase"));
    EXPECT_TRUE(pool.isErased()) << line->history().toStdString();
    EXPECT_TRUE(window->selectionController()->selection().empty());
    EXPECT_TRUE(waitFor([&] { return highlighted(QStringLiteral("unlit.json")).isEmpty(); }, 30000))
        << "the viewer still outlines the erased pool";
    EXPECT_TRUE(waitFor([&] { return !sceneNames(dumpScene(QStringLiteral("after.json")), handle); }, 30000))
        << "the viewer still holds the pool";
    screenshot(QStringLiteral("03-pool-erased.png"));
}
