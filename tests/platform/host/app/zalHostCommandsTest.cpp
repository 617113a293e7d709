// The host's commands run through the console, their prompts answered from a script: erase, move,
// layer, setmaterial, save and open, and the messages of commands that cannot do what they are asked.
#include "zalHostCommands.h"
#include "zalDocumentManager.h"
#include "zalDrawingImporter.h"
#include "zalHostAppTestSupport.h"
#include "zalHostConsole.h"

#include "DbDictionary.h"
#include "DbMaterial.h"
#include "DbObjectIterator.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace zalHostAppTest;

namespace {

class HostCommands : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { zalHostCommands::registerAll(); }
    static void TearDownTestSuite() { zalHostCommands::unregisterAll(); }
    void SetUp() override
    {
        documents.reset(new zalDocumentManager(host.app()));
        drawing = makeDrawing();
        documents->adoptDrawing(drawing.db.get(), host.filePath(QStringLiteral("made.dxf")));
        console = host.app()->console();
        ASSERT_NE(console, nullptr);
        console->setCurrentDatabase(drawing.db.get());
    }
    void TearDown() override
    {
        documents.reset();
        drawing = Drawing();
    }

    OdGeExtents3d extentsOf(const OdDbObjectId& id)
    {
        OdDbEntityPtr e = id.safeOpenObject();
        OdGeExtents3d ext;
        e->getGeomExtents(ext);
        return ext;
    }

    Host host;
    std::unique_ptr<zalDocumentManager> documents;
    Drawing drawing;
    zalHostConsole* console = nullptr;
};

} // namespace

TEST_F(HostCommands, EraseByHandleAndMoveByPosition)
{
    int changed = 0;
    QObject::connect(documents.get(), &zalDocumentManager::drawingChanged,
                     [&changed](OdDbDatabase*) { ++changed; });
    const int done =
        console->runScript(QStringLiteral("erase\n%1\nmove\n#1\n2,0,0.5\n").arg(hex(drawing.faceB)));
    EXPECT_EQ(done, 2) << console->transcript().join('\n').toStdString();
    EXPECT_TRUE(drawing.faceB.isErased());
    const OdGeExtents3d moved = extentsOf(drawing.faceA);
    EXPECT_TRUE(moved.minPoint().isEqualTo(OdGePoint3d(2, 0, 0.5)));
    EXPECT_TRUE(moved.maxPoint().isEqualTo(OdGePoint3d(4, 2, 0.5)));
    EXPECT_EQ(changed, 2);
}

TEST_F(HostCommands, LayerStatesAndMaterials)
{
    OdDbObjectId glass;
    {
        OdDbDictionaryPtr materials = drawing.db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
        OdDbMaterialPtr m = OdDbMaterial::createObject();
        m->setName(OdString("Glass"));
        glass = materials->setAt(OdString("Glass"), m.get());
    }
    EXPECT_EQ(console->runScript(QStringLiteral("layer\nB\nOff\nlayer\nA\nFreeze\nsetmaterial\n%1\nGlass\n")
                                     .arg(hex(drawing.reference))),
              3)
        << console->transcript().join('\n').toStdString();
    OdDbLayerTableRecordPtr b = drawing.layerB.safeOpenObject();
    EXPECT_TRUE(b->isOff());
    OdDbLayerTableRecordPtr a = drawing.layerA.safeOpenObject();
    EXPECT_TRUE(a->isFrozen());
    OdDbEntityPtr ref = drawing.reference.safeOpenObject();
    EXPECT_EQ(ref->materialId(), glass);
    b.release();
    a.release();
    EXPECT_EQ(console->runScript(QStringLiteral("layer\nB\nOn\nlayer\nA\nThaw\n")), 2);
    OdDbLayerTableRecordPtr b2 = drawing.layerB.safeOpenObject();
    EXPECT_FALSE(b2->isOff());
}

TEST_F(HostCommands, FailuresNameTheirCause)
{
    struct Row
    {
        const char* script;
        const char* cause;
    } rows[] = {{"erase\nFFFFF\n", "no entity \"FFFFF\""},
                {"move\n#99\n1,1,1\n", "no entity \"#99\""},
                {"layer\nNowhere\nOff\n", "no layer \"Nowhere\""},
                {"setmaterial\n#1\nMarble\n", "no material \"Marble\""},
                {"open\n/nonexistent/drawing.dxf\n", "no such file"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        EXPECT_EQ(console->runScript(QString::fromLatin1(row.script)), 0);
        EXPECT_TRUE(console->lastError().contains(QString::fromUtf8(row.cause)))
            << console->lastError().toStdString();
    }
    // A prompt without an answer cancels the command; nothing changes.
    EXPECT_EQ(console->executeCommand(QStringLiteral("erase")), zalHostConsole::Cancelled);
    EXPECT_FALSE(drawing.faceA.isErased());
}

TEST_F(HostCommands, SaveAndOpenAgain)
{
    {
        OdDbLayerTableRecordPtr b = drawing.layerB.safeOpenObject(OdDb::kForWrite);
        b->setIsOff(true);
    }
    const QString path = host.filePath(QStringLiteral("saved.dxf"));
    QList<OdDbDatabase*> opened;
    QObject::connect(documents.get(), &zalDocumentManager::documentOpened,
                     [&opened](OdDbDatabase* db, const QString&) { opened << db; });
    EXPECT_EQ(console->runScript(QStringLiteral("save\n%1\nopen\n%1\n").arg(path)), 2)
        << console->transcript().join('\n').toStdString();
    ASSERT_TRUE(QFile::exists(path));
    ASSERT_EQ(opened.size(), 1);
    OdDbDatabase* reopened = opened.first();
    ASSERT_NE(reopened, nullptr);
    ASSERT_NE(reopened, drawing.db.get());

    int faces = 0, refs = 0, lines = 0;
    OdGeExtents3d refExtents;
    OdDbBlockTableRecordPtr ms = reopened->getModelSpaceId().safeOpenObject();
    for (OdDbObjectIteratorPtr it = ms->newIterator(); !it->done(); it->step()) {
        OdDbEntityPtr e = it->entity();
        if (dynamic_cast<OdDbFace*>(e.get())) ++faces;
        if (dynamic_cast<OdDbLine*>(e.get())) ++lines;
        if (dynamic_cast<OdDbBlockReference*>(e.get())) {
            ++refs;
            e->getGeomExtents(refExtents);
        }
    }
    EXPECT_EQ(faces, 2);
    EXPECT_EQ(refs, 1);
    EXPECT_EQ(lines, 1);
    EXPECT_TRUE(refExtents.minPoint().isEqualTo(OdGePoint3d(0, 4, 0)));
    EXPECT_TRUE(refExtents.maxPoint().isEqualTo(OdGePoint3d(2, 6, 0)));
    OdDbLayerTablePtr layers = reopened->getLayerTableId().safeOpenObject();
    OdDbLayerTableRecordPtr b = layers->getAt(OdString("B"), OdDb::kForRead);
    ASSERT_FALSE(b.isNull());
    EXPECT_TRUE(b->isOff());
}

TEST_F(HostCommands, QuestionMarkListsLayersAndMaterialsThenAsksAgain)
{
    {
        OdDbDictionaryPtr materials = drawing.db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
        for (const char* name : {"Glass", "Stone"}) {
            OdDbMaterialPtr m = OdDbMaterial::createObject();
            m->setName(OdString(name));
            materials->setAt(OdString(name), m.get());
        }
        OdDbLayerTableRecordPtr b = drawing.layerB.safeOpenObject(OdDb::kForWrite);
        b->setIsOff(true);
    }
    // The first answers on the command's line; "?" lists and the prompt comes again.
    EXPECT_EQ(console->runScript(
                  QStringLiteral("layer ?\nA\nOff\nsetmaterial %1\n?\nStone\n").arg(hex(drawing.faceA))),
              2)
        << console->transcript().join('\n').toStdString();
    const QStringList t = console->transcript();
    EXPECT_TRUE(t.contains(QStringLiteral("Layers: 0 (on), A (on), B (off)"))) << t.join('\n').toStdString();
    EXPECT_TRUE(t.filter(QStringLiteral("Materials: ")).join(QString()).contains(QStringLiteral("Glass")));
    EXPECT_TRUE(t.filter(QStringLiteral("Materials: ")).join(QString()).contains(QStringLiteral("Stone")));
    OdDbLayerTableRecordPtr a = drawing.layerA.safeOpenObject();
    EXPECT_TRUE(a->isOff());
    OdDbEntityPtr face = drawing.faceA.safeOpenObject();
    OdDbMaterialPtr stone = face->materialId().safeOpenObject();
    EXPECT_EQ(stone->name(), OdString("Stone"));
}

TEST_F(HostCommands, TextAfterACommandThatAsksNothingIsNotRunAsTheNextCommand)
{
    // "help" asks nothing: "erase" must not be taken from its line, and the script's next line runs.
    EXPECT_EQ(console->runScript(QStringLiteral("help erase\nerase\n%1\n").arg(hex(drawing.faceB))), 2)
        << console->transcript().join('\n').toStdString();
    EXPECT_TRUE(drawing.faceB.isErased());
    EXPECT_TRUE(console->transcript().contains(QStringLiteral("(help takes no answer; \"erase\" ignored)")));
    // Unknown commands point to the list.
    EXPECT_EQ(console->executeCommand(QStringLiteral("frobnicate")), zalHostConsole::UnknownCommand);
    EXPECT_TRUE(console->lastError().contains(QStringLiteral("help or ?")));
}
