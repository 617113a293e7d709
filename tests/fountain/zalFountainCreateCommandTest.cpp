// "fountain_create" in the reference host with the module loaded by name: the point answered from a
// script places a fountain in model space, and the drawing's render view sends it to the viewer as the
// particle asset with its parameters. The viewer is played by the channel's recording transport.
#include "fountain/zalDbWaterFountain.h"
#include "module/QUnrealDbRenderWidget.h"
#include "module/zalDbUnrealRenderSession.h"
#include "module/zalSessionRegistry.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"
#include "translate/zalViewerNames.h"

#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderSender.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbObjectIterator.h"
#include "RxDynamicLinker.h"
#include "gs/DbFace.h"

#include "tests/common/zalModuleTestHost.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>

namespace {

class FountainCreate : public zalModuleTestHost
{
protected:
    void SetUp() override
    {
        zalModuleTestHost::SetUp();
        if (HasFatalFailure()) return;
        db = newDrawing(false);
        host->addDocument(db);
        host->console()->setCurrentDatabase(db);
    }

    void TearDown() override
    {
        closeViews();
        db = nullptr;
        zalModuleTestHost::TearDown();
    }

    // The drawing, with a face to give it extents, in an "UnrealRender" view with a started viewer that
    // holds the first refresh.
    XoRecordingMessagesManager* openLiveView()
    {
        addFace(db, 0.0);
        const Opened o = open(db);
        if (!o.widget || !o.session || !o.recorder) {
            ADD_FAILURE() << "no render view with a channel";
            return nullptr;
        }
        bringUp(o);
        if (HasFatalFailure()) return nullptr;
        if (!waitFor([&] { return !o.session->isFirstRunPending(); })) {
            ADD_FAILURE() << "the first refresh did not end";
            return nullptr;
        }
        return o.recorder;
    }

    // The fountains of model space.
    QList<OdDbObjectId> fountains()
    {
        QList<OdDbObjectId> found;
        OdDbBlockTableRecordPtr modelSpace = db->getModelSpaceId().safeOpenObject();
        for (OdDbObjectIteratorPtr it = modelSpace->newIterator(); !it->done(); it->step()) {
            OdDbObjectPtr object = it->objectId().safeOpenObject();
            if (object->isKindOf(zalDbWaterFountain::desc())) found << it->objectId();
        }
        return found;
    }

    OdDbDatabasePtr db;
};

TEST_F(FountainCreate, aScriptedPointPlacesAFountainThatTheViewerReceives)
{
    XoRecordingMessagesManager* recorder = openLiveView();
    ASSERT_NE(recorder, nullptr);
    recorder->clear();

    EXPECT_EQ(host->console()->runScript("fountain_create\n3,4,0.5\n"), 1);
    EXPECT_TRUE(host->console()->transcript().join('\n').contains("Set Fountain Position: 3,4,0.5"));

    const QList<OdDbObjectId> placed = fountains();
    ASSERT_EQ(placed.size(), 1);
    zalDbWaterFountainPtr fountain = zalDbWaterFountain::cast(placed[0].safeOpenObject().get());
    EXPECT_TRUE(fountain->active());
    EXPECT_TRUE(fountain->transform().isEqualTo(OdGeMatrix3d::translation(OdGeVector3d(3, 4, 0.5))));
    EXPECT_EQ(fountain->ownerId(), db->getModelSpaceId());
    EXPECT_EQ(fountain->layerId(), db->getLayerZeroId());
    // The console got the page during placement and the appended fountain at the end.
    EXPECT_EQ(host->console()->lastPlacedObject(), placed[0]);
    EXPECT_TRUE(host->console()->placementPropertySource().isNull());

    const QString name = zalViewerNames::ofId(placed[0]);
    const QString command = fountain->getCommand();
    fountain = nullptr;
    ASSERT_TRUE(waitFor([&] { return !recorder->consoleCommands().filter("CallOnActor").isEmpty(); }));
    EXPECT_EQ(recorder->consoleCommands().filter("CallOnActor"),
              QStringList({QStringLiteral("CallOnActor %1 %2").arg(name, command)}));
    EXPECT_TRUE(command.startsWith("SetFountainParams True (R="));
    QStringList instances;
    for (const QString& line : recorder->lines("addInstance"))
        if (line.contains(name)) instances << line;
    ASSERT_EQ(instances.size(), 1) << recorder->lines().join('\n').toStdString();
    EXPECT_TRUE(instances[0].contains("ConfigurableWaterFountain")) << instances[0].toStdString();
}

TEST_F(FountainCreate, aCancelledPromptAppendsNothing)
{
    QStringList placements;
    OdRxObject* shown = nullptr;
    QObject::connect(host->console(), &zalHostConsole::placementStarted, [&] {
        placements << "started";
        shown = host->console()->placementPropertySource().get();
    });
    host->console()->queueAnswers({zalHostConsole::cancelToken()});
    EXPECT_EQ(host->console()->executeCommand("fountain_create"), zalHostConsole::Cancelled);
    EXPECT_TRUE(fountains().isEmpty());
    EXPECT_EQ(placements, QStringList({"started"}));
    // The command made no call after the cancel: the console still holds the page it was given and
    // was never told of an appended object.
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(host->console()->placementPropertySource().get(), shown);
    EXPECT_TRUE(host->console()->lastPlacedObject().isNull());
}

TEST_F(FountainCreate, inPaperSpaceWithAViewportActiveTheFountainGoesToModelSpace)
{
    db->setActiveLayoutBTRId(db->getPaperSpaceId());
    db->setCVPORT(2);
    host->console()->queueAnswers({"1,1"});
    EXPECT_EQ(host->console()->executeCommand("fountain_create"), zalHostConsole::Done);
    EXPECT_EQ(fountains().size(), 1);

    // Paper space itself when no model viewport is active.
    db->setCVPORT(1);
    host->console()->queueAnswers({"2,2"});
    EXPECT_EQ(host->console()->executeCommand("fountain_create"), zalHostConsole::Done);
    EXPECT_EQ(fountains().size(), 1);
    OdDbBlockTableRecordPtr paperSpace = db->getPaperSpaceId().safeOpenObject();
    int inPaper = 0;
    for (OdDbObjectIteratorPtr it = paperSpace->newIterator(); !it->done(); it->step())
        inPaper += it->objectId().safeOpenObject()->isKindOf(zalDbWaterFountain::desc()) ? 1 : 0;
    EXPECT_EQ(inPaper, 1);
}

} // namespace
