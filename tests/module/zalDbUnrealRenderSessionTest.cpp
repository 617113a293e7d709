// The render session through the reference host: registry, start-up sequence, transactions,
// database changes, refreshes, camera and the end of the viewer.
#include "module/zalModuleContext.h"
#include "module/zalSessionRegistry.h"
#include "tests/common/zalModuleTestHost.h"

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbObjectId.h"
#include "zalDbXBlock.h"

#include <QElapsedTimer>
#include <QShowEvent>
#include <QTimer>
#include <QtGlobal>

#include <cmath>
#include <vector>

namespace {

// The lines of one run of the "Lazy Session Init" message: how many transactions had ended then.
int s_endsAtLazyInit = -1;
XoRecordingMessagesManager* s_watched = nullptr;
QtMessageHandler s_previousHandler = nullptr;

void watchLazyInit(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (s_watched &&
        message.contains(QLatin1String("Lazy Session Init completed...Refreshing render scene.")))
        s_endsAtLazyInit = s_watched->lines("endTransaction").size();
    if (s_previousHandler) s_previousHandler(type, context, message);
}

double angleDegrees(const QVector<double>& a, const QVector<double>& b)
{
    const double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    return std::acos(std::max(-1.0, std::min(1.0, dot / (la * lb)))) * 180.0 / M_PI;
}

QVector<double> minus(const QVector<double>& a, const QVector<double>& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

} // namespace

class Session : public zalModuleTestHost
{
protected:
    // Opens a second, ordinary kind of view on db: it becomes the active view of the drawing.
    zalHostView* openPlanView(OdDbDatabase* db)
    {
        if (host->viewSystem()->viewTypeTitle("Plan").isEmpty())
            host->viewSystem()->registerViewType(
                "Plan", "Plan", [](OdDbDatabase*, QWidget*, QWidget*) { return new QWidget; });
        return host->viewSystem()->openView("Plan", db);
    }

    // The session's 500 ms tick timer, which lives on the widget.
    static QTimer* tickTimer(QWidget* widget)
    {
        for (QTimer* timer : widget->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
            if (timer->interval() == 500 && !timer->isSingleShot()) return timer;
        return nullptr;
    }
};

TEST_F(Session, openingAViewPutsOneSessionInTheRegistryAndClosingItRemovesIt)
{
    OdDbDatabasePtr db = newDrawing();
    const std::size_t before = zalSessionRegistry::instance().sessions().size();
    Opened o = open(db);
    ASSERT_NE(o.session, nullptr);
    ASSERT_NE(o.widget, nullptr);
    EXPECT_EQ(zalSessionRegistry::instance().sessions().size(), before + 1);
    EXPECT_EQ(o.widget->session(), o.session);
    EXPECT_EQ(o.session->widget(), o.widget);
    EXPECT_EQ(o.session->database(), db.get());
    EXPECT_EQ(module->activeWidget(), o.widget);
    EXPECT_TRUE(o.widget->isReactorAttached());
    EXPECT_TRUE(db->hasReactor(o.session));
    // Not shown yet: no viewer.
    EXPECT_TRUE(o.recorder->lines("startRender").isEmpty());

    host->viewSystem()->closeView(o.view);
    QCoreApplication::processEvents();
    EXPECT_EQ(zalSessionRegistry::instance().sessions().size(), before);
    EXPECT_EQ(zalSessionRegistry::instance().sessionFor(db), nullptr);
    EXPECT_EQ(module->activeWidget(), nullptr);
}

// The view factory hands each session the module's context; a module started again hands it out
// again, not the context its stop emptied.
TEST_F(Session, sessionsReachTheModuleAndTheHostThroughTheirContextAlsoAfterARestart)
{
    std::vector<OdDbDatabasePtr> drawings;
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            closeViews();
            ASSERT_TRUE(odrxDynamicLinker()->unloadModule(kModule));
            ASSERT_NO_FATAL_FAILURE(loadModule());
        }
        drawings.push_back(newDrawing());
        Opened o = open(drawings.back());
        ASSERT_NE(o.session, nullptr);
        zalModuleContext* context = o.session->context();
        ASSERT_NE(context, nullptr) << "round " << round;
        EXPECT_EQ(context->module(), module) << "round " << round;
        EXPECT_EQ(context->viewSystem(), static_cast<IzalViewSystem*>(host->viewSystem()))
            << "round " << round;
        EXPECT_EQ(context->currentDatabase(), drawings.back().get()) << "round " << round;
        EXPECT_EQ(module->activeWidget(), o.widget) << "round " << round;
    }
}

TEST_F(Session, showHideShowStartsTheViewerOnceAndPausesItWhileHidden)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    o.widget->show();
    ASSERT_EQ(o.recorder->lines("startRender").size(), 1);
    const QString start = o.recorder->lines("startRender").first();
    EXPECT_TRUE(field(start, "executable")
                    .contains("/zalUnrealViewerResources/UE4/zalViewer/Binaries/Win64/zalViewer"))
        << start.toStdString();
    EXPECT_EQ(field(start, "width"), "640");
    EXPECT_EQ(field(start, "height"), "480");

    o.widget->hide();
    ASSERT_FALSE(o.recorder->lines("setRenderPaused").isEmpty());
    EXPECT_EQ(o.recorder->lines("setRenderPaused").last(), "setRenderPaused paused=true");

    // The viewer process is gone before the second show: only the 10 s guard holds the start back.
    o.recorder->simulateViewerExit(1);
    spin(100);
    o.widget->show();
    EXPECT_EQ(o.recorder->lines("startRender").size(), 1);
    EXPECT_EQ(o.recorder->lines("setRenderPaused").last(), "setRenderPaused paused=false");
}

TEST_F(Session, aShowStartsTheViewerAgainOnlyMoreThanTenSecondsAfterTheLastStart)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    QElapsedTimer beforeStart; // started before the attempt: an upper bound of the time since it
    beforeStart.start();
    o.widget->show();
    QElapsedTimer afterStart; // started after it: a lower bound
    afterStart.start();
    ASSERT_EQ(o.recorder->lines("startRender").size(), 1);
    o.widget->hide();
    o.recorder->simulateViewerExit(1);

    // Seconds later, but fewer than ten: still held back, though no viewer runs.
    spin(5000);
    o.widget->show();
    const qint64 shownAfter = beforeStart.elapsed();
    // A machine that stalled for seconds cannot tell this case; the show then proves nothing.
    if (shownAfter < 9000) {
        EXPECT_EQ(o.recorder->lines("startRender").size(), 1) << shownAfter << " ms";
    }
    o.widget->hide();

    while (afterStart.elapsed() <= 10200)
        spin(100);
    o.widget->show();
    EXPECT_EQ(o.recorder->lines("startRender").size(), 2);
}

TEST_F(Session, firstTransactionEndsAfterLazyInitAndFirstRunWithOneBeginAndOneEnd)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId face = addFace(db, 5.0);
    Opened o = open(db);
    // Two batches wait for the viewer: the initialisation and the widget's warm-up.
    EXPECT_EQ(o.session->registry().batchDepth(), 2u);
    EXPECT_FALSE(o.session->registry().isBatchOpen());

    o.widget->show();
    startViewer(o);
    s_watched = o.recorder;
    s_endsAtLazyInit = -1;
    s_previousHandler = qInstallMessageHandler(watchLazyInit);

    const std::uint64_t handle = 0x4200001;
    o.recorder->simulateWindowHandle(handle);
    EXPECT_EQ(o.session->viewerWindowHandle(), reinterpret_cast<void*>(handle));
    ASSERT_TRUE(waitFor([&] { return o.widget->viewerWindow() == WId(handle); }));
    // Embedded, but the first commands wait for their timer.
    EXPECT_FALSE(o.recorder->consoleCommands().contains("DisableAllScreenMessages"));

    ASSERT_TRUE(
        waitFor([&] { return !o.recorder->lines("endTransaction").isEmpty() && s_endsAtLazyInit >= 0; }));
    spin(800);
    qInstallMessageHandler(s_previousHandler);
    s_watched = nullptr;

    const QStringList lines = o.recorder->lines();
    EXPECT_EQ(count(lines, "beginTransaction"), 1);
    EXPECT_EQ(count(lines, "endTransaction"), 1);
    EXPECT_EQ(s_endsAtLazyInit, 0);
    EXPECT_FALSE(o.session->isFirstRunPending());
    EXPECT_EQ(o.session->registry().batchDepth(), 0u);
    EXPECT_FALSE(o.session->registry().isBatchOpen());

    // Camera at capture, then the first commands, then the first run inside the transaction.
    const int camera = indexOf(lines, "setCamera");
    const int toneMapper = indexOf(lines, "setToneMapper");
    const int screenMessages = indexOf(lines, "sendConsoleCommand command=\"DisableAllScreenMessages\"");
    const int instances = indexOf(lines, "sendConsoleCommand command=\"spawneruseinstances 1\"");
    const int rayTracing =
        indexOf(lines, "sendConsoleCommand command=\"r.raytracing.ForceAllRayTracingEffects\"");
    const int unpaused = indexOf(lines, "setRenderPaused paused=false", toneMapper);
    const int begin = indexOf(lines, "beginTransaction");
    const int mesh = indexOf(lines, "addInstance name=\"" + name(face) + "\"");
    const int end = indexOf(lines, "endTransaction");
    ASSERT_GE(camera, 0);
    EXPECT_LT(camera, toneMapper);
    EXPECT_EQ(lines.at(toneMapper),
              "setToneMapper exposure=1 contrast=1 saturation=1 autoExposure=true gamma=1");
    EXPECT_LT(toneMapper, screenMessages);
    EXPECT_LT(screenMessages, instances);
    EXPECT_LT(instances, rayTracing);
    EXPECT_LT(rayTracing, unpaused);
    EXPECT_LT(unpaused, begin);
    EXPECT_LT(begin, mesh);
    EXPECT_LT(mesh, end);
    // The model-space root is confirmed inside the same transaction.
    const QString root = name(db->getModelSpaceId()) + "_Root";
    const int rootLine = indexOf(lines, "addInstance name=\"" + root + "\"");
    EXPECT_GT(rootLine, begin);
    EXPECT_LT(rootLine, end);
    EXPECT_EQ(field(lines.at(rootLine), "parent"), "Model");
    EXPECT_EQ(field(lines.at(rootLine), "asset"), "Modelspace");
}

TEST_F(Session, aDrawingWithAnEmptyModelSpaceNeverGetsARefreshTransaction)
{
    OdDbDatabasePtr db = newDrawing(false);
    Opened o = open(db);
    bringUp(o);
    host->fireEvent("<event-refresh:view_changed>");
    o.widget->refresh(QString(), QString());
    spin(700);
    for (const QString& line : o.recorder->lines("beginTransaction"))
        EXPECT_NE(field(line, "name"), "refresh") << line.toStdString();
    EXPECT_TRUE(o.session->areExtentsUnusable());
}

TEST_F(Session, degenerateAndFarAwayDrawingsAreNotRefreshed)
{
    // A single point of geometry: the diagonal is not above 0.001.
    OdDbDatabasePtr flat = OdDbDatabase::createObject();
    {
        OdDbBlockTableRecordPtr modelSpace = flat->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        OdDbFacePtr face = OdDbFace::createObject();
        face->setDatabaseDefaults(flat);
        for (OdUInt16 i = 0; i < 4; ++i)
            face->setVertexAt(i, OdGePoint3d(1, 1, 1));
        modelSpace->appendOdDbEntity(face);
    }
    Opened o = open(flat);
    bringUp(o);
    EXPECT_TRUE(o.session->areExtentsUnusable());
    EXPECT_TRUE(o.recorder->lines("beginTransaction").isEmpty());

    OdDbDatabasePtr far = OdDbDatabase::createObject();
    addFace(far, 2e6);
    Opened f = open(far);
    bringUp(f, 0x4300001);
    EXPECT_TRUE(f.session->areExtentsUnusable());
    EXPECT_TRUE(f.recorder->lines("beginTransaction").isEmpty());

    // Just inside the limit the drawing goes out.
    OdDbDatabasePtr near = OdDbDatabase::createObject();
    addFace(near, 999000.0);
    Opened n = open(near);
    bringUp(n, 0x4400001);
    EXPECT_FALSE(n.session->areExtentsUnusable());
    EXPECT_FALSE(n.recorder->lines("beginTransaction").isEmpty());
}

TEST_F(Session, hostRefreshEventsRefreshButSelectionChangesNever)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);

    o.recorder->clear();
    o.widget->refresh("<event-refresh:selection_changed>", QString());
    spin(300);
    EXPECT_TRUE(o.recorder->lines("beginTransaction").isEmpty());

    EXPECT_GE(host->fireEvent("<event-refresh:view_changed>"), 1);
    ASSERT_FALSE(o.recorder->lines("beginTransaction").isEmpty());
    EXPECT_EQ(field(o.recorder->lines("beginTransaction").first(), "name"), "refresh");
    EXPECT_EQ(o.recorder->lines("endTransaction").size(), 1);
}

TEST_F(Session, appendedModifiedAndErasedEntitiesReachALiveViewer)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    ASSERT_TRUE(o.session->isLive());
    o.recorder->clear();

    const OdDbObjectId added = addFace(db, 3.0);
    const QString id = name(added);
    ASSERT_TRUE(
        waitFor([&] { return indexOf(o.recorder->lines(), "addInstance name=\"" + id + "\"") >= 0; }));
    EXPECT_GE(indexOf(o.recorder->lines(), "addMesh name=\"" + id + "_"), 0);
    EXPECT_TRUE(o.session->registry().contains(id));

    o.recorder->clear();
    {
        OdDbFacePtr face = added.safeOpenObject(OdDb::kForWrite);
        face->setVertexAt(2, OdGePoint3d(20, 20, 3));
    }
    ASSERT_TRUE(
        waitFor([&] { return indexOf(o.recorder->lines(), "addInstance name=\"" + id + "\"") >= 0; }));
    QStringList lines = o.recorder->lines();
    const int removed = indexOf(lines, "removeEntity name=\"" + id + "\"");
    ASSERT_GE(removed, 0);
    EXPECT_LT(removed, indexOf(lines, "addInstance name=\"" + id + "\""));
    // The removal belongs to the same transaction as the redraw.
    const int begun = indexOf(lines, "beginTransaction");
    EXPECT_TRUE(begun >= 0 && begun < removed) << lines.join('\n').toStdString();

    o.recorder->clear();
    {
        OdDbObjectPtr face = added.safeOpenObject(OdDb::kForWrite);
        face->erase();
    }
    ASSERT_TRUE(
        waitFor([&] { return indexOf(o.recorder->lines(), "removeEntity name=\"" + id + "\"") >= 0; }));
    spin(600);
    lines = o.recorder->lines();
    EXPECT_LT(indexOf(lines, "addInstance name=\"" + id + "\""), 0);
    EXPECT_FALSE(o.session->registry().contains(id));
    // An erasure too is a transaction of its own.
    const int erasedAt = indexOf(lines, "removeEntity name=\"" + id + "\"");
    const int opened = indexOf(lines, "beginTransaction");
    const int closed = indexOf(lines, "endTransaction");
    EXPECT_TRUE(opened >= 0 && opened < erasedAt && erasedAt < closed) << lines.join('\n').toStdString();
}

TEST_F(Session, whileSuspendedAModifiedEntityIsRemovedAtOnceAndDrawnOnlyByTheResumeRefresh)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId face = addFace(db, 4.0);
    Opened o = open(db);
    bringUp(o);
    const QString id = name(face);
    o.recorder->clear();

    module->suspendSessionDbReactors();
    EXPECT_TRUE(zalSessionRegistry::instance().isReactorSuspended());
    {
        OdDbFacePtr entity = face.safeOpenObject(OdDb::kForWrite);
        entity->setVertexAt(0, OdGePoint3d(-5, -5, 4));
    }
    // The notification ran: the old picture is gone. Ticks pass, but the redraw waits.
    spin(1200);
    EXPECT_GE(indexOf(o.recorder->lines(), "removeEntity name=\"" + id + "\""), 0);
    EXPECT_LT(indexOf(o.recorder->lines(), "addInstance name=\"" + id + "\""), 0);
    EXPECT_FALSE(o.session->registry().contains(id));

    const int beforeResume = o.recorder->lines().size();
    module->resumeSessionDbReactors();
    EXPECT_EQ(zalSessionRegistry::instance().reactorSuspendCount(), 0);
    const QStringList lines = o.recorder->lines();
    const int begin = indexOf(lines, "beginTransaction name=\"refresh\"", beforeResume);
    const int sent = indexOf(lines, "addInstance name=\"" + id + "\"", beforeResume);
    const int end = indexOf(lines, "endTransaction", beforeResume);
    ASSERT_GE(begin, 0);
    EXPECT_LT(begin, sent);
    EXPECT_LT(sent, end);
}

TEST_F(Session, theLastEntityErasedWhileSuspendedLeavesTheViewer)
{
    OdDbDatabasePtr db = newDrawing(false);
    const OdDbObjectId face = addFace(db, 0.0);
    Opened o = open(db);
    bringUp(o);
    const QString id = name(face);
    ASSERT_TRUE(o.session->registry().contains(id));
    o.recorder->clear();

    module->suspendSessionDbReactors();
    {
        OdDbObjectPtr entity = face.safeOpenObject(OdDb::kForWrite);
        entity->erase();
    }
    module->resumeSessionDbReactors();
    spin(700);
    // The drawing is empty now, so the resume's refresh stops early; the removal must not wait for it.
    EXPECT_GE(indexOf(o.recorder->lines(), "removeEntity name=\"" + id + "\""), 0);
    EXPECT_LT(indexOf(o.recorder->lines(), "addInstance name=\"" + id + "\""), 0);
    EXPECT_FALSE(o.session->registry().contains(id));
}

TEST_F(Session, aSuspendedChangeInAnotherDrawingIsRemovedAtOnceAndDrawnByItsTick)
{
    OdDbDatabasePtr first = newDrawing();
    OdDbDatabasePtr second = newDrawing(false);
    const OdDbObjectId face = addFace(second, 3.0);
    Opened a = open(first);
    bringUp(a);
    Opened b = open(second);
    bringUp(b);
    const QString id = name(face);
    ASSERT_TRUE(b.session->registry().contains(id));
    // The first drawing is the active one: the resume refreshes only its session.
    host->console()->setCurrentDatabase(first);
    spin(100);
    b.recorder->clear();

    module->suspendSessionDbReactors();
    {
        OdDbFacePtr entity = face.safeOpenObject(OdDb::kForWrite);
        entity->setVertexAt(2, OdGePoint3d(12, 12, 3));
    }
    module->resumeSessionDbReactors();
    spin(700);
    EXPECT_GE(indexOf(b.recorder->lines(), "removeEntity name=\"" + id + "\""), 0);
    EXPECT_LT(indexOf(b.recorder->lines(), "addInstance name=\"" + id + "\""), 0);

    // Once its drawing is current again, the session's tick sends the entity without a refresh.
    const int before = b.recorder->lines().size();
    host->console()->setCurrentDatabase(second);
    ASSERT_TRUE(waitFor(
        [&] { return indexOf(b.recorder->lines(), "addInstance name=\"" + id + "\"", before) >= 0; }));
    const QStringList lines = b.recorder->lines();
    const int drawn = indexOf(lines, "addInstance name=\"" + id + "\"", before);
    const int begin = indexOf(lines, "beginTransaction", before);
    ASSERT_GE(begin, 0);
    EXPECT_LT(begin, drawn);
    EXPECT_EQ(lines.at(begin), "beginTransaction name=\"AsyncDrawSkippedDrawings\"");
}

TEST_F(Session, showingTheViewAgainAfterAHideRefreshesOnceAndAShowWithoutAHideDoesNot)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    o.recorder->clear();

    o.widget->hide();
    o.widget->show();
    EXPECT_EQ(count(o.recorder->lines(), "beginTransaction name=\"refresh\""), 1);

    // Another show event while shown (the window raised again) is no reason to refresh.
    QShowEvent again;
    QCoreApplication::sendEvent(o.widget, &again);
    EXPECT_EQ(count(o.recorder->lines(), "beginTransaction name=\"refresh\""), 1);
}

TEST_F(Session, anEntityAddedWhileItsDrawingIsNotCurrentIsDrawnByTheTickOnceItIs)
{
    OdDbDatabasePtr first = newDrawing();
    OdDbDatabasePtr second = newDrawing();
    Opened a = open(first);
    bringUp(a);
    Opened b = open(second);
    bringUp(b);
    host->console()->setCurrentDatabase(first);
    spin(100);
    b.recorder->clear();

    // Not the current drawing: the draw hub holds it back.
    const OdDbObjectId face = addFace(second, 8.0);
    spin(700);
    EXPECT_LT(indexOf(b.recorder->lines(), "addInstance name=\"" + name(face) + "\""), 0);

    host->console()->setCurrentDatabase(second);
    ASSERT_TRUE(waitFor(
        [&] { return indexOf(b.recorder->lines(), "addInstance name=\"" + name(face) + "\"") >= 0; }));
    const QStringList lines = b.recorder->lines();
    const int begin = indexOf(lines, "beginTransaction");
    ASSERT_GE(begin, 0);
    EXPECT_EQ(lines.at(begin), "beginTransaction name=\"AsyncDrawSkippedDrawings\"");
    EXPECT_LT(begin, indexOf(lines, "addInstance name=\"" + name(face) + "\""));
}

TEST_F(Session, theStartUpSendsTheSettingsOnlyThroughTheFirstRefresh)
{
    // With geometry the first-run refresh applies them once; without, nothing applies them.
    for (bool withGeometry : {true, false}) {
        OdDbDatabasePtr db = newDrawing(withGeometry);
        Opened o = open(db);
        bringUp(o);
        spin(1200);
        EXPECT_EQ(count(o.recorder->lines(), "sendConsoleCommand command=\"Set PostProcessVolume Settings"),
                  withGeometry ? 1 : 0)
            << withGeometry;
        host->viewSystem()->closeView(o.view);
        QCoreApplication::processEvents();
    }
}

TEST_F(Session, resumeWithoutAnActiveWidgetOnlyDecrementsTheCounter)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    o.recorder->clear();
    host->console()->setCurrentDatabase(nullptr);
    ASSERT_EQ(module->activeWidget(), nullptr);

    module->suspendSessionDbReactors();
    module->suspendSessionDbReactors();
    EXPECT_EQ(zalSessionRegistry::instance().reactorSuspendCount(), 2);
    module->resumeSessionDbReactors();
    EXPECT_EQ(zalSessionRegistry::instance().reactorSuspendCount(), 1);
    EXPECT_TRUE(zalSessionRegistry::instance().isReactorSuspended());
    module->resumeSessionDbReactors();
    EXPECT_EQ(zalSessionRegistry::instance().reactorSuspendCount(), 0);
    spin(100);
    EXPECT_TRUE(o.recorder->lines("beginTransaction").isEmpty());
}

TEST_F(Session, invalidateObjectAndALostEntitySendTheEntityAgain)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId face = addFace(db, 6.0);
    Opened o = open(db);
    bringUp(o);
    const QString id = name(face);
    ASSERT_TRUE(o.session->registry().contains(id));

    o.recorder->clear();
    module->invalidateObject(face);
    QStringList lines = o.recorder->lines();
    EXPECT_GE(indexOf(lines, "removeEntity name=\"" + id + "\""), 0);
    EXPECT_GT(indexOf(lines, "addInstance name=\"" + id + "\""),
              indexOf(lines, "removeEntity name=\"" + id + "\""));

    // The viewer reports the entity lost: the session marks it modified and it goes out again.
    o.recorder->clear();
    const QString owner = o.session->registry().owners(id).value(0);
    o.recorder->simulateEntityLost(id.toStdString(), owner.toStdString());
    ASSERT_TRUE(
        waitFor([&] { return indexOf(o.recorder->lines(), "addInstance name=\"" + id + "\"") >= 0; }));

    // An id of a drawing without a session does nothing.
    OdDbDatabasePtr other = newDrawing();
    const OdDbObjectId stranger = addFace(other, 1.0);
    o.recorder->clear();
    module->invalidateObject(stranger);
    module->invalidateObject(OdDbObjectId());
    EXPECT_TRUE(o.recorder->lines().isEmpty());
}

TEST_F(Session, cameraSynchronisationConvertsToCentimetresAndTiltsAPlanView)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    {
        OdDbViewportTableRecordPtr viewport = db->activeViewportId().safeOpenObject(OdDb::kForWrite);
        viewport->setView(OdGePoint3d(5, 5, 20), OdGePoint3d(5, 5, 0), OdGeVector3d(0, 1, 0));
        viewport->setWidth(40.0);
        viewport->setHeight(30.0);
    }
    o.recorder->clear();
    o.widget->syncRenderCamera();
    ASSERT_EQ(o.recorder->lines("setCamera").size(), 1);
    const QString line = o.recorder->lines("setCamera").first();
    const QVector<double> aim = floats(line, "aim");
    const QVector<double> position = floats(line, "position");
    const QVector<double> up = floats(line, "up");
    ASSERT_EQ(aim.size(), 3);
    ASSERT_EQ(position.size(), 3);
    ASSERT_EQ(up.size(), 3);

    // Metres to centimetres; the camera stays 20 m from the target, tilted by 2.5 degrees.
    const QVector<double> target = {500.0, 500.0, 0.0};
    const QVector<double> offset = minus(position, target);
    EXPECT_NEAR(std::sqrt(offset[0] * offset[0] + offset[1] * offset[1] + offset[2] * offset[2]), 2000.0,
                0.05);
    EXPECT_NEAR(angleDegrees(offset, {0, 0, 1}), 2.5, 1e-3);
    EXPECT_NEAR(angleDegrees(minus(aim, position), {0, 0, -1}), 2.5, 1e-3);
    EXPECT_NEAR(angleDegrees(up, minus(aim, position)), 90.0, 1e-3);
    EXPECT_NEAR(field(line, "fieldOfView").toDouble(), std::atan(20.0 / 1000.0) * 180.0 / M_PI, 1e-4);
    EXPECT_EQ(field(line, "animate"), "false");
    EXPECT_EQ(field(line, "orthographic"), "false");
    EXPECT_EQ(field(line, "aspectRatio"), "1");
    EXPECT_EQ(field(line, "name"), "");

    // A side view is not tilted; millimetres become tenths.
    db->setINSUNITS(OdDb::kUnitsMillimeters);
    {
        OdDbViewportTableRecordPtr viewport = db->activeViewportId().safeOpenObject(OdDb::kForWrite);
        viewport->setView(OdGePoint3d(0, -100, 0), OdGePoint3d(0, 0, 0), OdGeVector3d(0, 0, 1));
    }
    o.recorder->clear();
    o.widget->updateRenderCamera();
    ASSERT_FALSE(o.recorder->lines("setCamera").isEmpty());
    const QString side = o.recorder->lines("setCamera").last();
    EXPECT_EQ(floats(side, "position"), QVector<double>({0, -10, 0}));
    EXPECT_EQ(floats(side, "up"), QVector<double>({0, 0, 1}));

    // Nothing while suspended or when the drawing is not the current one.
    o.recorder->clear();
    module->suspendSessionDbReactors();
    o.widget->syncRenderCamera();
    zalSessionRegistry::instance().adjustReactorSuspendCount(-1);
    host->console()->setCurrentDatabase(nullptr);
    o.widget->syncRenderCamera();
    EXPECT_TRUE(o.recorder->lines("setCamera").isEmpty());
}

TEST_F(Session, whenTheViewerEndsTheNextTickDropsTheEmbeddingAndTheSender)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    ASSERT_NE(o.session->sender(), nullptr);

    o.recorder->simulateViewerExit(3);
    ASSERT_TRUE(waitFor([&] { return o.session->sender() == nullptr; }));
    EXPECT_EQ(o.widget->viewerWindow(), WId(0));
    EXPECT_EQ(o.session->viewerWindowHandle(), nullptr);
    EXPECT_FALSE(o.session->isLive());

    // The host keeps running: commands, refreshes, changes and shows find no viewer.
    host->console()->queueAnswers({"stat fps"});
    EXPECT_EQ(host->console()->executeCommand("unrealcommand"), zalHostConsole::Done);
    EXPECT_EQ(host->console()->executeCommand("unrealoutliner"), zalHostConsole::Done);
    host->fireEvent("<event-refresh:view_changed>");
    addFace(db, 9.0);
    o.widget->hide();
    o.widget->show();
    module->sendViewerConsoleCommand("stat unit");
    spin(600);
    EXPECT_EQ(o.session->sender(), nullptr);
}

TEST_F(Session, closingTheWidgetSendsTheCloseRecord)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    o.recorder->clear();
    o.widget->close();
    EXPECT_EQ(o.recorder->lines("sendInputEvent"), QStringList({"sendInputEvent type=11 a=0 x=0 y=0"}));
}

TEST_F(Session, turningALayerOffAndOnTakesItsEntitiesOutOfTheViewerAndBack)
{
    OdDbDatabasePtr db = newDrawing();
    const OdDbObjectId layer = addLayer(db, L"Trees");
    const OdDbObjectId face = addFace(db, 7.0);
    putOnLayer(face, layer);
    Opened o = open(db);
    bringUp(o);
    const QString id = name(face);
    ASSERT_TRUE(o.session->registry().contains(id));

    o.recorder->clear();
    {
        OdDbLayerTableRecordPtr record = layer.safeOpenObject(OdDb::kForWrite);
        record->setIsOff(true);
    }
    // The layer's entities leave the viewer as each is notified, then one refresh follows; the
    // reactors are running again after it.
    EXPECT_EQ(zalSessionRegistry::instance().reactorSuspendCount(), 0);
    QStringList lines = o.recorder->lines();
    const int begin = indexOf(lines, "beginTransaction name=\"refresh\"");
    const int removed = indexOf(lines, "removeEntity name=\"" + id + "\"");
    ASSERT_GE(begin, 0);
    EXPECT_GE(removed, 0);
    EXPECT_LT(indexOf(lines, "addInstance name=\"" + id + "\""), 0);
    EXPECT_FALSE(o.session->registry().contains(id));

    o.recorder->clear();
    {
        OdDbLayerTableRecordPtr record = layer.safeOpenObject(OdDb::kForWrite);
        record->setIsOff(false);
    }
    lines = o.recorder->lines();
    EXPECT_GE(indexOf(lines, "addInstance name=\"" + id + "\""), 0);
    EXPECT_TRUE(o.session->registry().contains(id));
}

TEST_F(Session, turningOffTheLayerOfEveryEntityKeepsThemAllOutOfTheViewer)
{
    // Every entity on the one layer: each refresh asks about that layer first and last.
    OdDbDatabasePtr db = newDrawing(false);
    const OdDbObjectId layer = addLayer(db, L"Walls");
    QStringList faces;
    for (int i = 0; i < 3; ++i) {
        const OdDbObjectId face = addFace(db, double(i));
        putOnLayer(face, layer);
        faces << name(face);
    }
    Opened o = open(db);
    bringUp(o);
    for (const QString& face : faces)
        ASSERT_TRUE(o.session->registry().contains(face)) << face.toStdString();

    o.recorder->clear();
    {
        OdDbLayerTableRecordPtr record = layer.safeOpenObject(OdDb::kForWrite);
        record->setIsOff(true);
    }
    host->fireEvent("<event-refresh:view_changed>");
    const QStringList lines = o.recorder->lines();
    for (const QString& face : faces) {
        EXPECT_GE(indexOf(lines, "removeEntity name=\"" + face + "\""), 0) << face.toStdString();
        EXPECT_LT(indexOf(lines, "addInstance name=\"" + face + "\""), 0) << face.toStdString();
        EXPECT_FALSE(o.session->registry().contains(face)) << face.toStdString();
    }
}

TEST_F(Session, anXBlockIsRedrawnOnlyWhenItsRepresentationChanges)
{
    OdDbDatabasePtr db = newDrawing();
    OdDbObjectId blocks[2];
    {
        OdDbBlockTablePtr table = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
        const wchar_t* names[2] = {L"TreeA", L"TreeB"};
        for (int i = 0; i < 2; ++i) {
            OdDbBlockTableRecordPtr record = OdDbBlockTableRecord::createObject();
            record->setName(OdString(names[i]));
            blocks[i] = table->add(record);
        }
    }
    OdDbObjectId xblockId;
    OdDbObjectId instanceId;
    {
        OdDbBlockTableRecordPtr modelSpace = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        zalDbXBlockPtr xblock = zalDbXBlock::createObject();
        xblock->setDatabaseDefaults(db);
        xblock->setSubObjectPath(4, OdString(L"/Game/Trees/Oak"));
        xblockId = modelSpace->appendOdDbEntity(xblock);
        OdDbBlockReferencePtr instance = OdDbBlockReference::createObject();
        instance->setBlockTableRecord(blocks[0]);
        instanceId = db->addOdDbObject(instance, xblockId);
        instance = nullptr;
        xblock->setInstanceForRepresentation(4, instanceId);
    }
    Opened o = open(db);
    bringUp(o);
    const QString key = name(xblockId);

    module->invalidateObject(xblockId);
    EXPECT_EQ(o.session->xblockRepresentations().value(key), name(blocks[0]));

    // The same representation again: nothing is removed or sent.
    o.recorder->clear();
    module->invalidateObject(xblockId);
    EXPECT_TRUE(o.recorder->lines().isEmpty()) << o.recorder->lines().join('\n').toStdString();

    {
        OdDbBlockReferencePtr instance = instanceId.safeOpenObject(OdDb::kForWrite);
        instance->setBlockTableRecord(blocks[1]);
    }
    module->invalidateObject(xblockId);
    EXPECT_EQ(o.session->xblockRepresentations().value(key), name(blocks[1]));
}

TEST_F(Session, aPerspectiveViewAimsAtTheFocalDistanceWithItsFieldOfView)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    {
        OdDbViewportTableRecordPtr viewport = db->activeViewportId().safeOpenObject(OdDb::kForWrite);
        viewport->setView(OdGePoint3d(-30, 0, 5), OdGePoint3d(0, 0, 5), OdGeVector3d(0, 0, 1));
        viewport->setWidth(36.0);
        viewport->setHeight(24.0);
        viewport->setLensLength(50.0);
        viewport->setPerspectiveEnabled(true);
    }
    o.recorder->clear();
    o.widget->syncRenderCamera();
    ASSERT_EQ(o.recorder->lines("setCamera").size(), 1);
    const QString line = o.recorder->lines("setCamera").first();
    // A 36 mm frame with a 50 mm lens over a 36 unit wide field: focal distance 50 units.
    const QVector<double> position = floats(line, "position");
    const QVector<double> aim = floats(line, "aim");
    ASSERT_EQ(position.size(), 3);
    ASSERT_EQ(aim.size(), 3);
    EXPECT_NEAR(position[0], -3000.0, 1e-3);
    EXPECT_NEAR(position[2], 500.0, 1e-3);
    EXPECT_NEAR(aim[0], 2000.0, 1e-2);
    EXPECT_NEAR(aim[1], 0.0, 1e-3);
    EXPECT_NEAR(aim[2], 500.0, 1e-3);
    EXPECT_NEAR(field(line, "fieldOfView").toDouble(), std::atan(18.0 / 50.0) * 180.0 / M_PI, 1e-4);
}

TEST_F(Session, whileAnotherKindOfViewOfTheDrawingIsActiveEditsWaitForTheRenderView)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    ASSERT_TRUE(o.session->isLive());
    zalHostView* plan = openPlanView(db);
    ASSERT_NE(plan, nullptr);
    ASSERT_EQ(host->viewSystem()->view(db.get()), plan);
    EXPECT_FALSE(o.session->isLive());
    o.recorder->clear();

    // Drawn in the plan view, the face does not reach the viewer yet, and the host's refresh
    // events do not refresh it.
    const OdDbObjectId face = addFace(db, 6.0);
    const QString added = "addInstance name=\"" + name(face) + "\"";
    host->fireEvent("<event-refresh:view_changed>");
    spin(1200);
    EXPECT_LT(indexOf(o.recorder->lines(), added), 0);
    EXPECT_EQ(count(o.recorder->lines(), "beginTransaction name=\"refresh\""), 0);

    // Back in the render view, its tick sends it.
    host->viewSystem()->setActiveView(o.view);
    EXPECT_TRUE(o.session->isLive());
    ASSERT_TRUE(waitFor([&] { return indexOf(o.recorder->lines(), added) >= 0; }));
    const QStringList lines = o.recorder->lines();
    const int begin = indexOf(lines, "beginTransaction");
    ASSERT_GE(begin, 0);
    EXPECT_EQ(lines.at(begin), "beginTransaction name=\"AsyncDrawSkippedDrawings\"");
    EXPECT_LT(begin, indexOf(lines, added));
}

TEST_F(Session, theTickLeavesWaitingEntitiesAloneWhileATransactionIsOpen)
{
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    ASSERT_NE(openPlanView(db), nullptr);
    const OdDbObjectId face = addFace(db, 6.0);
    const QString added = "addInstance name=\"" + name(face) + "\"";
    QTimer* tick = tickTimer(o.widget);
    ASSERT_NE(tick, nullptr);
    int ticks = 0;
    QObject::connect(tick, &QTimer::timeout, tick, [&ticks] { ++ticks; });

    o.session->beginBatch("held");
    ASSERT_TRUE(o.session->registry().isBatchOpen());
    o.recorder->clear();
    host->viewSystem()->setActiveView(o.view);
    ASSERT_TRUE(o.session->isLive());
    ASSERT_TRUE(waitFor([&] { return ticks >= 3; }));
    EXPECT_LT(indexOf(o.recorder->lines(), added), 0);

    // Once the transaction ends, the next tick draws it in one of its own.
    o.session->endBatch(false);
    ASSERT_TRUE(waitFor([&] { return indexOf(o.recorder->lines(), added) >= 0; }));
    const QStringList lines = o.recorder->lines();
    const int heldEnd = indexOf(lines, "endTransaction");
    const int begin = indexOf(lines, "beginTransaction name=\"AsyncDrawSkippedDrawings\"");
    ASSERT_GE(heldEnd, 0);
    EXPECT_LT(heldEnd, begin);
    EXPECT_LT(begin, indexOf(lines, added));
    EXPECT_EQ(o.session->registry().batchDepth(), 0u);
}

TEST_F(Session, theProgressIndicatorShowsForTheFirstSynchronisationAndForMoreThanTenWaitingObjects)
{
    QStringList started;
    QObject::connect(host.get(), &zalHostApplication::progressStarted,
                     [&started](const QString& title) { started << title; });
    OdDbDatabasePtr db = newDrawing();
    Opened o = open(db);
    bringUp(o);
    // Nothing had been sent: the first refresh shows it, and it is gone when the refresh ends.
    EXPECT_TRUE(started.contains("Synchronizing Scene")) << started.join(", ").toStdString();
    EXPECT_EQ(host->progressIndicatorCount(), 0);

    // A refresh with everything sent and nothing waiting is quick: no indicator.
    started.clear();
    host->fireEvent("<event-refresh:view_changed>");
    ASSERT_GE(count(o.recorder->lines(), "beginTransaction name=\"refresh\""), 2);
    EXPECT_TRUE(started.isEmpty()) << started.join(", ").toStdString();

    // Eleven faces drawn while another view was active wait for the render view; a refresh then
    // shows the indicator again.
    ASSERT_NE(openPlanView(db), nullptr);
    for (int i = 0; i < 11; ++i)
        addFace(db, 10.0 + i);
    host->viewSystem()->setActiveView(o.view);
    host->fireEvent("<event-refresh:view_changed>");
    EXPECT_EQ(started, QStringList{"Synchronizing Scene"});
    EXPECT_EQ(host->progressIndicatorCount(), 0);
}

TEST_F(Session, theModelSpaceRootCarriesTheDrawingUnitAtEveryRefresh)
{
    OdDbDatabasePtr db = newDrawing(false);
    db->setINSUNITS(OdDb::kUnitsMillimeters);
    addFace(db, 0.0);
    Opened o = open(db);
    bringUp(o);
    host->fireEvent("<event-refresh:view_changed>");

    // Placed by the first refresh, moved again by the later one: millimetres to metres each time.
    const QString root = name(db->getModelSpaceId()) + "_Root";
    int sent = 0;
    for (const QString& line : o.recorder->lines()) {
        if (!line.startsWith("addInstance name=\"" + root + "\"") &&
            !line.startsWith("setAssetTransform name=\"" + root + "\""))
            continue;
        ++sent;
        const QVector<double> m = floats(line, "transform");
        ASSERT_EQ(m.size(), 16) << line.toStdString();
        for (int i : {0, 5, 10})
            EXPECT_NEAR(m[i], 0.001, 1e-9) << line.toStdString();
        EXPECT_NEAR(m[15], 1.0, 1e-9) << line.toStdString();
    }
    EXPECT_GE(sent, 2);
}

TEST_F(Session, theFirstRunConfirmsEveryShownEntityFourTimesInDrawingOrder)
{
    // The drawing reaches the viewer when its window is captured (the widget shows itself then and
    // refreshes); the first run, 250 ms later, finds every entity held and confirms it in each of its
    // four passes over the model space.
    OdDbDatabasePtr db = newDrawing(false);
    const OdDbObjectId off = addLayer(db, L"Off", true);
    QStringList shown;
    for (int i = 0; i < 5; ++i) {
        const OdDbObjectId face = addFace(db, double(i));
        if (i == 2)
            putOnLayer(face, off);
        else
            shown << name(face);
    }
    Opened o = open(db);
    ASSERT_NO_FATAL_FAILURE(startViewer(o));
    o.recorder->simulateWindowHandle(0x4200001);
    ASSERT_TRUE(
        waitFor([&] { return !o.session->isFirstRunPending() && o.session->registry().batchDepth() == 0; }));

    const QString modelSpace = name(db->getModelSpaceId());
    QStringList confirmed;
    for (const QString& line : o.recorder->lines("assureEntityConnected")) {
        if (field(line, "parent") == modelSpace) confirmed << field(line, "name");
    }
    EXPECT_EQ(confirmed, shown + shown + shown + shown);
    // All of it in the one start-up transaction.
    EXPECT_EQ(o.recorder->lines("beginTransaction").size(), 1);
    EXPECT_EQ(o.recorder->lines("endTransaction").size(), 1);
}
