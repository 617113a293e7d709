// The real viewer process killed in the middle of an editing session. Edits go on: some inside a user's
// command that waits (as at a prompt) while the session notices the loss and drops its sender, more after
// it. The host survives, the drawing holds every edit, nothing keeps a batch open, and a later show starts
// no viewer: a session whose viewer ended has no sender to start one with.
#include "tests/common/zalModuleTestHost.h"
#include "tests/common/zalViewerProcesses.h"

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbDictionary.h"
#include "DbMaterial.h"
#include "Ed/EdCommand.h"
#include "Ed/EdCommandStack.h"
#include "StaticRxObject.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

const int kViewerTimeoutMs = 60000;

class EditCommand : public OdEdCommand
{
public:
    const OdString groupName() const override { return L"Tests"; }
    const OdString globalName() const override { return L"testviewerlossedits"; }
    void execute(OdEdCommandContext*) override { run(); }
    std::function<void()> run;
};

void move(const OdDbObjectId& id, double dx)
{
    OdDbEntityPtr entity = id.safeOpenObject(OdDb::kForWrite);
    entity->transformBy(OdGeMatrix3d::translation(OdGeVector3d(dx, 0, 0)));
}

void erase(const OdDbObjectId& id)
{
    OdDbEntityPtr entity = id.safeOpenObject(OdDb::kForWrite);
    entity->erase(true);
}

// Live entities in model space.
int modelSpaceCount(OdDbDatabase* db)
{
    int n = 0;
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject();
    for (OdDbObjectIteratorPtr it = ms->newIterator(); !it->done(); it->step())
        ++n;
    return n;
}

} // namespace

class SessionViewer : public zalModuleTestHost
{
protected:
    void SetUp() override
    {
        useRecordingTransport = false;
        zalModuleTestHost::SetUp();
    }
    void TearDown() override
    {
        for (pid_t pid : zalViewerChildren())
            ::kill(pid, SIGKILL);
        zalModuleTestHost::TearDown();
    }
};

TEST_F(SessionViewer, editsGoOnWhenTheViewerIsKilledDuringACommandAndALaterShowStartsNoViewer)
{
    OdDbDatabasePtr db = newDrawing();
    std::vector<OdDbObjectId> faces;
    for (int i = 0; i < 6; ++i)
        faces.push_back(addFace(db, 2.0 * (i + 1)));
    OdDbObjectId reference, material;
    {
        OdDbBlockTablePtr table = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
        OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
        block->setName(L"Tile");
        const OdDbObjectId blockId = table->add(block);
        OdDbFacePtr face = OdDbFace::createObject();
        face->setDatabaseDefaults(db);
        face->setVertexAt(1, OdGePoint3d(1, 0, 0));
        face->setVertexAt(2, OdGePoint3d(0, 1, 0));
        face->setVertexAt(3, OdGePoint3d(0, 1, 0));
        block->appendOdDbEntity(face);
        OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
        ref->setDatabaseDefaults(db);
        ref->setBlockTableRecord(blockId);
        OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        reference = ms->appendOdDbEntity(ref);
        OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
        OdDbMaterialPtr red = OdDbMaterial::createObject();
        red->setName(L"Red");
        material = materials->setAt(L"Red", red);
    }
    const int before = modelSpaceCount(db);

    Opened o = open(db);
    showInRealViewer(o);
    const QList<pid_t> viewers = zalViewerChildren();
    ASSERT_EQ(viewers.size(), 1);

    OdStaticRxObject<EditCommand> command;
    bool dropped = false;
    command.run = [&] {
        // Sent in the command's transaction while the viewer still runs.
        move(faces[0], 1.0);
        erase(faces[1]);
        ::kill(viewers.first(), SIGKILL);
        // More edits while the end is on its way: the channel is closed under them.
        move(faces[2], 1.0);
        // The command waits, as at a prompt; the session's tick notices the end.
        dropped = waitFor([&] { return o.session->sender() == nullptr; }, kViewerTimeoutMs);
        move(reference, 3.0);
        {
            OdDbEntityPtr face = faces[3].safeOpenObject(OdDb::kForWrite);
            face->setMaterial(material);
        }
        erase(reference);
        addFace(db, 40.0);
    };
    odedRegCmds()->addCommand(&command);
    EXPECT_EQ(host->console()->executeCommand(QStringLiteral("testviewerlossedits")), zalHostConsole::Done);
    odedRegCmds()->removeCmd(L"Tests", L"testviewerlossedits");
    ASSERT_TRUE(dropped) << "the session kept the sender of an ended viewer";
    EXPECT_EQ(o.session->registry().sender(), nullptr) << "the registry still points at the dropped sender";
    EXPECT_EQ(o.session->registry().batchDepth(), 0u);
    EXPECT_FALSE(o.session->registry().isBatchOpen());
    EXPECT_EQ(o.widget->viewerWindow(), WId(0));

    // Edits after the command, one by one, and a refresh.
    move(faces[4], 2.0);
    erase(faces[5]);
    const OdDbObjectId added = addFace(db, 50.0);
    host->fireEvent("<event-refresh:view_changed>");
    spin(300);

    // Hidden and shown again after the restart guard's ten seconds: nothing is started.
    o.widget->hide();
    spin(10500);
    o.widget->show();
    spin(1500);
    EXPECT_EQ(o.session->sender(), nullptr);
    EXPECT_TRUE(zalViewerChildren().isEmpty()) << "a viewer was started without a sender";

    // The drawing holds every edit: 2 faces and the reference erased, 2 faces added.
    EXPECT_EQ(modelSpaceCount(db), before - 3 + 2);
    EXPECT_TRUE(faces[1].isErased());
    EXPECT_TRUE(reference.isErased());
    EXPECT_FALSE(added.isErased());
    OdDbEntityPtr face3 = faces[3].safeOpenObject();
    EXPECT_EQ(face3->materialId(), material);
}
