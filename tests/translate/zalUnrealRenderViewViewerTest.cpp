// The translation end to end: a drawing in the reference host, the module's session, the real viewer
// process over the real channel, and the viewer's own account of what it holds (its scene dump).
#include "zalTranslateTestDrawing.h"
#include "zalTranslateTestSession.h"

#include "translate/zalUnrealViewerFrame.h"

#include "gs/DbCircle.h"
#include "gs/DbLine.h"
#include "gs/DbText.h"

#include "Ed/EdCancel.h"
#include "Ed/EdCommand.h"
#include "Ed/EdCommandStack.h"
#include "StaticRxObject.h"

#include <QFile>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWidget>
#include <cmath>

class zalUnrealRenderViewViewer : public zalTranslateSessionTest
{
protected:
    void SetUp() override { startHost(false); }

    void TearDown() override
    {
        if (session && session->sender()) {
            session->sender()->requestRenderExit();
            waitFor([&] { return !session->sender() || !session->sender()->isProcessRunning(); }, 5000);
        }
        zalTranslateSessionTest::TearDown();
    }

    static QList<QJsonObject> withField(const QJsonObject& scene, const char* kind, const char* field,
                                        const QString& value)
    {
        QList<QJsonObject> out;
        for (const QJsonValue& v : scene.value(kind).toArray()) {
            if (v.toObject().value(field).toString() == value) out << v.toObject();
        }
        return out;
    }

    static bool mentions(const QJsonObject& scene, const QString& name)
    {
        for (const char* kind : {"components", "instances", "meshes", "lights", "spawns", "assets"}) {
            for (const QJsonValue& v : scene.value(kind).toArray()) {
                if (v.toObject().value("name").toString().startsWith(name)) return true;
            }
        }
        return false;
    }

    static void expectTransform(const QJsonArray& actual, const OdGeMatrix3d& drawing)
    {
        const std::vector<double> expected = expectedViewerMatrix(drawing);
        ASSERT_EQ(actual.size(), 16);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(actual[i].toDouble(), expected[i], 1e-3) << "element " << i;
    }

    zalDbUnrealRenderSession* session = nullptr;
};

TEST_F(zalUnrealRenderViewViewer, DrawingReachesTheViewerAsComponentsInstancesMeshesAndLights)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    zalTranslateTestDrawing drawing(db.get());
    const OdDbObjectId off = drawing.addLayer(L"Off", true, false);
    const OdDbObjectId hidden = drawing.addLayer(L"Hidden", false, true);
    const OdDbObjectId wood = drawing.addMaterial(L"Wood", 150, 100, 50);
    const OdDbObjectId steel = drawing.addMaterial(L"Steel", 180, 180, 190);

    const OdDbObjectId block = drawing.addBlock(L"Chair");
    drawing.addFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, block);
    const OdDbObjectId ref1 = drawing.addReference(block, {10, 0, 0});
    const OdDbObjectId ref2 = drawing.addReference(block, {20, 0, 0});
    const OdDbObjectId ref3 = drawing.addReference(block, {0, 15, 2}, OdaPI / 6, 2.5);

    OdDbPolyFaceMeshPtr polyface = OdDbPolyFaceMesh::createObject();
    for (const OdGePoint3d& p : {OdGePoint3d(0, 0, 0), OdGePoint3d(2, 0, 0), OdGePoint3d(2, 2, 0),
                                 OdGePoint3d(0, 2, 0), OdGePoint3d(0, 0, 2), OdGePoint3d(2, 0, 2)})
        polyface->appendVertex(p);
    polyface->appendFace(0, 1, 2, 3, wood);
    polyface->appendFace(0, 1, 5, 4, steel);
    const OdDbObjectId polyfaceId = drawing.append(polyface);
    polyface = nullptr;
    const OdDbObjectId face = drawing.addFace({{5, 5, 0}, {6, 5, 0}, {5, 6, 1}});
    const OdDbObjectId onOff = drawing.addFace({{0, 0, 3}, {1, 0, 3}, {0, 1, 3}}, OdDbObjectId(), off);
    const OdDbObjectId onHidden = drawing.addFace({{0, 0, 4}, {1, 0, 4}, {0, 1, 4}}, OdDbObjectId(), hidden);

    OdDbLinePtr line = OdDbLine::createObject();
    line->setEndPoint(OdGePoint3d(4, 4, 0));
    const OdDbObjectId lineId = drawing.append(line);
    line = nullptr;
    OdDbCirclePtr circle = OdDbCircle::createObject();
    circle->setCenter(OdGePoint3d(3, 3, 0));
    const OdDbObjectId circleId = drawing.append(circle);
    circle = nullptr;
    OdDbTextPtr text = OdDbText::createObject();
    text->setTextString(L"Lobby");
    const OdDbObjectId textId = drawing.append(text);
    text = nullptr;

    const OdDbObjectId pointLight = drawing.addLight(OdGiDrawable::kPointLight, {1, 1, 3}, {1, 1, 0}, 2.0);
    const OdDbObjectId spotLight = drawing.addLight(OdGiDrawable::kSpotLight, {4, 4, 6}, {4, 4, 0}, 1.5);
    const OdDbObjectId webLight = drawing.addLight(OdGiDrawable::kWebLight, {8, 1, 3}, {8, 1, 0}, 1.0);
    const OdDbObjectId distantLight =
        drawing.addLight(OdGiDrawable::kDistantLight, {0, 0, 50}, {0, 0, 0}, 1.0);
    {
        OdDbLightPtr light = webLight.safeOpenObject(OdDb::kForWrite);
        light->setWebFile(L"/lib/IES/downlight.ies");
        light->setIlluminanceDistance(1.5);
        OdCmColor colour;
        colour.setRGB(255, 200, 100);
        light->setLightColor(colour);
    }

    ASSERT_NO_FATAL_FAILURE(openInRealViewer(db.get(), session));

    const QJsonObject scene = viewerScene(session);
    const QString ms = id(db->getModelSpaceId());
    const QString global = id(db->globalMaterialId());

    // The block once, as a component, with three instances in the viewer frame.
    EXPECT_EQ(withField(scene, "components", "name", id(block)).size(), 1);
    const QList<QJsonObject> chairs = withField(scene, "instances", "component", id(block));
    ASSERT_EQ(chairs.size(), 3);
    for (const OdDbObjectId& ref : {ref1, ref2, ref3}) {
        const QList<QJsonObject> instance = withField(scene, "instances", "name", id(ref));
        ASSERT_EQ(instance.size(), 1);
        EXPECT_EQ(instance[0].value("parent").toString(), ms);
        OdDbBlockReferencePtr reference = ref.safeOpenObject();
        expectTransform(instance[0].value("transform").toArray(), reference->blockTransform());
    }
    // The rotated and scaled one, written out: X mirrored, centimetres.
    const QJsonArray t3 = withField(scene, "instances", "name", id(ref3))[0].value("transform").toArray();
    EXPECT_NEAR(t3[0].toDouble(), 2.5 * std::cos(OdaPI / 6), 1e-4);
    EXPECT_NEAR(t3[1].toDouble(), 2.5 * std::sin(OdaPI / 6), 1e-4);
    EXPECT_NEAR(t3[7].toDouble(), 1500.0, 1e-2);
    EXPECT_NEAR(t3[11].toDouble(), 200.0, 1e-2);

    // One instance per entity, one mesh per material.
    EXPECT_EQ(withField(scene, "instances", "name", id(polyfaceId)).size(), 1);
    const QList<QJsonObject> woodMesh = withField(scene, "meshes", "name", id(polyfaceId) + "_" + id(wood));
    const QList<QJsonObject> steelMesh = withField(scene, "meshes", "name", id(polyfaceId) + "_" + id(steel));
    ASSERT_EQ(woodMesh.size(), 1);
    ASSERT_EQ(steelMesh.size(), 1);
    EXPECT_EQ(woodMesh[0].value("parent").toString(), id(polyfaceId));
    EXPECT_EQ(woodMesh[0].value("material").toString(), id(wood));
    EXPECT_EQ(woodMesh[0].value("faceCount").toInt(), 2);
    EXPECT_EQ(steelMesh[0].value("vertexCount").toInt(), 6);
    EXPECT_EQ(withField(scene, "meshes", "parent", id(polyfaceId)).size(), 2);
    const QList<QJsonObject> faceMesh = withField(scene, "meshes", "name", id(face) + "_" + global);
    ASSERT_EQ(faceMesh.size(), 1);
    // Bounds in the viewer frame: x mirrored and in centimetres.
    const QJsonArray low = faceMesh[0].value("boundsMin").toArray();
    const QJsonArray high = faceMesh[0].value("boundsMax").toArray();
    ASSERT_EQ(low.size(), 3);
    EXPECT_NEAR(low[0].toDouble(), -600.0, 1e-2);
    EXPECT_NEAR(high[0].toDouble(), -500.0, 1e-2);
    EXPECT_NEAR(high[2].toDouble(), 100.0, 1e-2);
    EXPECT_FALSE(withField(scene, "materials", "name", id(wood)).isEmpty()) << "the materials went out too";

    // Nothing for lines, circles, text, or entities on layers that are off or hidden.
    for (const OdDbObjectId& none : {lineId, circleId, textId, onOff, onHidden})
        EXPECT_FALSE(mentions(scene, id(none))) << id(none).toStdString();

    EXPECT_EQ(withField(scene, "instances", "name", ms + "_Root").size(), 1);

    struct ExpectedLight
    {
        OdDbObjectId id;
        int type;
        double intensity;
        double attenuation;
    };
    for (const ExpectedLight& e : {ExpectedLight{pointLight, 0, 2.0 * 0.1 * 100 * 1e5, 3.0},
                                   ExpectedLight{spotLight, 1, 1.5 * 0.1 * 1000 * 1e5, 6.0},
                                   ExpectedLight{webLight, 1, 1500 * 0.0001 * 100 * 1e5, 1.5 * 3.0},
                                   ExpectedLight{distantLight, 3, 0.1 * 0.1 * 1e5, 50.0}}) {
        const QList<QJsonObject> light = withField(scene, "lights", "name", id(e.id));
        ASSERT_EQ(light.size(), 1) << id(e.id).toStdString();
        EXPECT_EQ(light[0].value("type").toInt(), e.type);
        EXPECT_NEAR(light[0].value("intensity").toDouble(), e.intensity, e.intensity * 1e-6);
        EXPECT_NEAR(light[0].value("attenuationRadius").toDouble(), e.attenuation, 1e-4);
        EXPECT_EQ(light[0].value("parent").toString(), ms);
    }
    const QJsonObject web = withField(scene, "lights", "name", id(webLight))[0];
    EXPECT_EQ(qint64(web.value("colour").toDouble()), qint64(255 | 200 << 8 | 100 << 16));
    EXPECT_EQ(web.value("iesFile").toString(), "/IES/downlight");

    // A second refresh sends no geometry again.
    const int meshes = scene.value("meshes").toArray().size();
    session->refresh(QString(), QString());
    const QJsonObject again = viewerScene(session);
    EXPECT_EQ(again.value("meshes").toArray().size(), meshes);
    EXPECT_EQ(again.value("instances").toArray().size(), scene.value("instances").toArray().size());
}

TEST_F(zalUnrealRenderViewViewer, AMovedReferenceAndAnErasureEachArriveInOneTransactionTheViewerAcknowledges)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    zalTranslateTestDrawing drawing(db.get());
    const OdDbObjectId block = drawing.addBlock(L"Chair");
    drawing.addFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, block);
    const OdDbObjectId moved = drawing.addReference(block, {10, 0, 0});
    const OdDbObjectId kept = drawing.addReference(block, {20, 0, 0});
    const OdDbObjectId erased = drawing.addFace({{5, 5, 0}, {6, 5, 0}, {5, 6, 1}});
    const OdDbObjectId other = drawing.addFace({{7, 5, 0}, {8, 5, 0}, {7, 6, 1}});
    ASSERT_NO_FATAL_FAILURE(openInRealViewer(db.get(), session));
    zalUnrealViewerSender* sender = session->sender();
    ASSERT_TRUE(waitFor([&] { return sender->transactionsApplied() >= sender->transactionsEnded(); }, 30000));
    const QJsonObject before = viewerScene(session);
    const double outside = before.value("transactions").toObject().value("contentOutside").toDouble();
    ASSERT_EQ(withField(before, "instances", "name", id(moved)).size(), 1);
    ASSERT_EQ(withField(before, "meshes", "parent", id(erased)).size(), 1);

    // Each edit: exactly one transaction, closed before the edit returns, applied by the viewer.
    auto edit = [&](const std::function<void()>& change) {
        const std::uint64_t ended = sender->transactionsEnded();
        const std::uint64_t applied = sender->transactionsApplied();
        change();
        EXPECT_EQ(sender->transactionsEnded(), ended + 1);
        EXPECT_FALSE(sender->isTransactionOpen());
        EXPECT_TRUE(waitFor([&] { return sender->transactionsApplied() >= applied + 1; }, 30000))
            << "the viewer did not acknowledge the edit";
    };
    edit([&] {
        OdDbEntityPtr reference = moved.safeOpenObject(OdDb::kForWrite);
        reference->transformBy(OdGeMatrix3d::translation(OdGeVector3d(0, 7, 0)));
    });
    edit([&] {
        OdDbEntityPtr face = erased.safeOpenObject(OdDb::kForWrite);
        face->erase(true);
    });

    const QJsonObject after = viewerScene(session);
    const QJsonObject transactions = after.value("transactions").toObject();
    EXPECT_EQ(transactions.value("contentOutside").toDouble(), outside) << "content outside a transaction";
    EXPECT_EQ(transactions.value("last").toString(), "startDrawing");
    EXPECT_FALSE(transactions.value("open").toBool());
    const QList<QJsonObject> instance = withField(after, "instances", "name", id(moved));
    ASSERT_EQ(instance.size(), 1);
    expectTransform(instance[0].value("transform").toArray(),
                    OdGeMatrix3d::translation(OdGeVector3d(10, 7, 0)));
    EXPECT_EQ(withField(after, "instances", "name", id(kept)).size(), 1);
    EXPECT_FALSE(mentions(after, id(erased)));
    EXPECT_EQ(withField(after, "meshes", "parent", id(other)).size(), 1);
}

namespace {
// A user's command that makes several edits.
class EditTwice : public OdEdCommand
{
public:
    const OdString groupName() const override { return L"Tests"; }
    const OdString globalName() const override { return L"testedittwice"; }
    void execute(OdEdCommandContext*) override
    {
        run();
        if (cancel) throw OdEdCancel();
    }
    std::function<void()> run;
    bool cancel = false;
};
} // namespace

TEST_F(zalUnrealRenderViewViewer, ACommandsEditsArriveAsOneTransactionAlsoWhenItIsCancelled)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    zalTranslateTestDrawing drawing(db.get());
    const OdDbObjectId block = drawing.addBlock(L"Chair");
    drawing.addFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, block);
    const OdDbObjectId moved = drawing.addReference(block, {10, 0, 0});
    const OdDbObjectId erased = drawing.addFace({{5, 5, 0}, {6, 5, 0}, {5, 6, 1}});
    const OdDbObjectId other = drawing.addFace({{7, 5, 0}, {8, 5, 0}, {7, 6, 1}});
    ASSERT_NO_FATAL_FAILURE(openInRealViewer(db.get(), session));
    zalUnrealViewerSender* sender = session->sender();
    ASSERT_TRUE(waitFor([&] { return sender->transactionsApplied() >= sender->transactionsEnded(); }, 30000));

    OdStaticRxObject<EditTwice> command;
    odedRegCmds()->addCommand(&command);
    auto runCommand = [&](bool cancel) {
        command.cancel = cancel;
        const std::uint64_t ended = sender->transactionsEnded();
        const std::uint64_t applied = sender->transactionsApplied();
        host->console()->executeCommand(QStringLiteral("testedittwice"));
        EXPECT_EQ(sender->transactionsEnded(), ended + 1) << "one transaction for the whole command";
        EXPECT_FALSE(sender->isTransactionOpen());
        EXPECT_EQ(session->registry().batchDepth(), 0u);
        EXPECT_TRUE(waitFor([&] { return sender->transactionsApplied() >= applied + 1; }, 30000));
    };
    // Three edits: a reference moved twice and a face erased.
    command.run = [&] {
        for (int i = 0; i < 2; ++i) {
            OdDbEntityPtr reference = moved.safeOpenObject(OdDb::kForWrite);
            reference->transformBy(OdGeMatrix3d::translation(OdGeVector3d(0, 7, 0)));
        }
        OdDbEntityPtr face = erased.safeOpenObject(OdDb::kForWrite);
        face->erase(true);
    };
    runCommand(false);
    // A cancelled command still closes its transaction, with what it changed before the cancel.
    command.run = [&] {
        OdDbEntityPtr face = other.safeOpenObject(OdDb::kForWrite);
        face->erase(true);
    };
    runCommand(true);
    odedRegCmds()->removeCmd(L"Tests", L"testedittwice");

    const QJsonObject after = viewerScene(session);
    EXPECT_EQ(after.value("transactions").toObject().value("last").toString(), "command");
    const QList<QJsonObject> instance = withField(after, "instances", "name", id(moved));
    ASSERT_EQ(instance.size(), 1);
    expectTransform(instance[0].value("transform").toArray(),
                    OdGeMatrix3d::translation(OdGeVector3d(10, 14, 0)));
    EXPECT_FALSE(mentions(after, id(erased)));
    EXPECT_FALSE(mentions(after, id(other)));
}
