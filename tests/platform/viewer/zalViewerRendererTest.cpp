// The Filament drawing of the viewer's scene, driven directly: it follows edits to the scene and must
// end up drawing what a drawing made from scratch of the same scene draws.
#include "zalViewerRenderer.h"
#include "XoRemoteRenderMessage.h"
#include "zalViewerScene.h"
#include "zalViewerSettings.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

std::shared_ptr<const XoRemoteRenderMessage> received(const XoRemoteRenderMessage& sent)
{
    auto m = std::make_shared<XoRemoteRenderMessage>();
    std::string error;
    EXPECT_TRUE(XoRemoteRenderMessage::decode(sent.frameBytes(), *m, error)) << error;
    return m;
}

struct Fixture
{
    zalViewerScene scene;
    std::vector<zalViewerScene::Key> lost;
    QStringList errors;
    void apply(const XoRemoteRenderMessage& m) { scene.apply(received(m), lost, errors); }

    void instance(const QString& name, const QString& parent, const QString& component, QVector3D at,
                  const QString& material = QString())
    {
        QMatrix4x4 t;
        t.translate(at);
        float v[16];
        t.copyDataTo(v); // row by row, as the wire has it
        XoRemoteRenderMessage m(XoMessageType::AddInstance);
        m.addString(name.toStdString())
            .addString(parent.toStdString())
            .addString(component.toStdString())
            .addString(name.toStdString())
            .addFloatArray(v, 16)
            .addString(material.toStdString());
        apply(m);
    }
    // A flat square of `size` centimetres in the owner's frame, two triangles facing up once the host's
    // mirror of X is undone.
    void square(const QString& name, const QString& owner, float size, const QString& material)
    {
        const float s = size;
        std::vector<float> p = {0, 0, 0, s, s, 0, s, 0, 0, 0, 0, 0, 0, s, 0, s, s, 0};
        std::vector<std::int32_t> faces = {3, 3};
        XoRemoteRenderMessage m(XoMessageType::AddMesh);
        m.addString(name.toStdString()).addString(owner.toStdString()).addString("");
        m.addFloatArray(p.data(), p.size()).addFloatArray(nullptr, 0);
        m.addFloatArray(nullptr, 0).addFloatArray(nullptr, 0).addIntArray(nullptr, 0);
        m.addIntArray(faces.data(), faces.size()).addInt(2).addInt(6);
        m.addString(material.toStdString()).addString(material.toStdString());
        apply(m);
    }
    // The same square as square(), cut into `cells` x `cells` pieces: 6 cells^2 vertices.
    void tiledSquare(const QString& name, const QString& owner, float size, int cells,
                     const QString& material)
    {
        std::vector<float> p;
        const float step = size / float(cells);
        for (int i = 0; i < cells; ++i)
            for (int j = 0; j < cells; ++j) {
                const float x0 = step * float(i), y0 = step * float(j), x1 = x0 + step, y1 = y0 + step;
                p.insert(p.end(), {x0, y0, 0, x1, y1, 0, x1, y0, 0, x0, y0, 0, x0, y1, 0, x1, y1, 0});
            }
        const int triangles = 2 * cells * cells;
        std::vector<std::int32_t> faces(std::size_t(triangles), 3);
        XoRemoteRenderMessage m(XoMessageType::AddMesh);
        m.addString(name.toStdString()).addString(owner.toStdString()).addString("");
        m.addFloatArray(p.data(), p.size()).addFloatArray(nullptr, 0);
        m.addFloatArray(nullptr, 0).addFloatArray(nullptr, 0).addIntArray(nullptr, 0);
        m.addIntArray(faces.data(), faces.size()).addInt(triangles).addInt(3 * triangles);
        m.addString(material.toStdString()).addString(material.toStdString());
        apply(m);
    }
    void material(const QString& name, quint32 colour)
    {
        XoRemoteRenderMessage m(XoMessageType::AddMaterial);
        m.addString(name.toStdString()).addString("").addString("").addUInt(colour).addFloat(1.0f);
        m.addString("").addString("");
        apply(m);
    }
    void remove(const QString& name, const QString& parent)
    {
        XoRemoteRenderMessage m(XoMessageType::RemoveEntity);
        m.addString(name.toStdString()).addString(parent.toStdString()).addBool(true).addBool(true);
        apply(m);
    }
};

} // namespace

// Mean and largest difference of two pictures of the same size, per channel (0..255).
struct Difference
{
    double mean = 0;
    double changedShare = 0; // pixels with a channel more than 60 apart
};
Difference compare(const QImage& a, const QImage& b)
{
    Difference d;
    if (a.size() != b.size() || a.isNull()) return {255, 1};
    long long changed = 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            const int dr = std::abs(p.red() - q.red()), dg = std::abs(p.green() - q.green()),
                      db = std::abs(p.blue() - q.blue());
            sum += dr + dg + db;
            if (std::max({dr, dg, db}) > 60) ++changed;
        }
    const double pixels = double(a.width()) * a.height();
    d.mean = sum / (3 * pixels);
    d.changedShare = double(changed) / pixels;
    return d;
}

class Renderer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(followed.initialize(error)) << error.toStdString();
    }
    QImage draw(zalViewerRenderer& r)
    {
        QString error;
        const QImage image =
            r.renderImage(f.scene, settings, r.view(f.scene, settings), QSize(160, 120), error);
        EXPECT_FALSE(image.isNull()) << error.toStdString();
        return image;
    }
    // The renderer that has followed every change draws what one made now from the scene draws.
    void expectLikeAFreshDrawing(const char* step)
    {
        SCOPED_TRACE(step);
        const QImage kept = draw(followed);
        zalViewerRenderer fresh;
        QString error;
        ASSERT_TRUE(fresh.initialize(error)) << error.toStdString();
        const QImage made = draw(fresh);
        EXPECT_EQ(followed.statistics().triangles, fresh.statistics().triangles);
        QVector3D lowA, highA, lowB, highB;
        ASSERT_EQ(followed.bounds(f.scene, lowA, highA), fresh.bounds(f.scene, lowB, highB));
        EXPECT_LT((lowA - lowB).length() + (highA - highB).length(), 1e-3f);
        const Difference d = compare(kept, made);
        EXPECT_LT(d.mean, 1.5);
        EXPECT_LT(d.changedShare, 0.005);
        fresh.release();
        last = kept;
    }
    Fixture f;
    zalViewerSettings settings;
    zalViewerRenderer followed;
    QImage last;
};

TEST_F(Renderer, FollowsMovesErasuresMaterialsAndSharedBlocksLikeAFreshDrawing)
{
    f.material("Red", 0x0000C0);
    f.material("Blue", 0xC00000);
    // Twelve entities on a grid, each with its own square, and four placements of one block.
    for (int i = 0; i < 12; ++i) {
        const QString name = QStringLiteral("E%1").arg(i);
        f.instance(name, "Model", "", QVector3D(float(i % 4) * 60, float(i / 4) * 60, 0));
        f.square(name + "_M", name, 40, i % 2 ? "Red" : "Blue");
    }
    f.square("Tile_M", "Tile", 25, "Red");
    for (int i = 0; i < 4; ++i)
        f.instance(QStringLiteral("R%1").arg(i), "Model", "Tile", QVector3D(float(i) * 60, -60, 0));
    ASSERT_TRUE(f.errors.isEmpty()) << f.errors.join("; ").toStdString();
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("first drawing"));
    const long long triangles = followed.statistics().triangles;
    EXPECT_EQ(triangles, 12 * 2 + 4 * 2);

    // Moved the way the host moves: taken out and sent again.
    f.remove("E5", "Model");
    f.instance("E5", "Model", "", QVector3D(300, 200, 0));
    f.square("E5_M", "E5", 40, "Red");
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("a move"));
    f.remove("E0", "Model"); // on the edge of the bounds: they shrink
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("an erasure"));
    EXPECT_EQ(followed.statistics().triangles, triangles - 2);
    const QImage beforeColour = last;
    f.material("Blue", 0x00C000);
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("a material's colour"));
    EXPECT_GT(compare(beforeColour, last).mean, 0.5) << "the new colour shows";
    // The block's mesh changes: every placement of it follows.
    f.square("Tile_M", "Tile", 50, "Blue");
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("a block's mesh"));
    f.instance("E20", "Model", "", QVector3D(-100, -100, 0));
    f.square("E20_M", "E20", 40, "Red");
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("an addition"));
    followed.release();
}

TEST_F(Renderer, DrawsTwentyThousandSmallMeshesInAFewRenderables)
{
    // One renderable per mesh exhausts the OpenGL backend's handle arena a few thousand meshes in.
    f.material("Red", 0x0000C0);
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        const QString name = QStringLiteral("E%1").arg(i);
        f.instance(name, "Model", "", QVector3D(float(i % 200) * 30, float(i / 200) * 30, 0));
        f.square(name + "_M", name, 20, "Red");
    }
    ASSERT_FALSE(draw(followed).isNull());
    const zalViewerRenderer::Statistics stats = followed.statistics();
    EXPECT_EQ(stats.triangles, 2LL * n);
    EXPECT_LT(stats.renderables, 100);
    // Erasing a few costs their batches; the rest stays.
    for (int i = 0; i < n; i += 1000)
        f.remove(QStringLiteral("E%1").arg(i), "Model");
    ASSERT_FALSE(draw(followed).isNull());
    EXPECT_EQ(followed.statistics().triangles, 2LL * (n - n / 1000));
    followed.release();
}

TEST_F(Renderer, HundredsOfPlacementsOfALargeMeshAreDrawnWithBoundedBuffersKeepingEveryTriangle)
{
    // A block whose mesh is too large to merge with small ones (16,854 vertices) placed 300 times on a
    // grid; an own renderable per placement would exhaust Filament's arena a few thousand placements in.
    // The same grid of squares drawn as small meshes is the reference picture.
    const int placements = 300, cells = 53;
    const long long tileTriangles = 2LL * cells * cells;
    f.material("Red", 0x0000C0);
    f.tiledSquare("Tile_M", "Tile", 25, cells, "Red");
    Fixture plain;
    plain.material("Red", 0x0000C0);
    plain.square("Tile_M", "Tile", 25, "Red");
    for (int i = 0; i < placements; ++i) {
        const QVector3D at(float(i % 20) * 30, float(i / 20) * 30, 0);
        f.instance(QStringLiteral("P%1").arg(i), "Model", "Tile", at);
        plain.instance(QStringLiteral("P%1").arg(i), "Model", "Tile", at);
    }
    ASSERT_TRUE(f.errors.isEmpty()) << f.errors.join("; ").toStdString();
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("first drawing"));
    zalViewerRenderer::Statistics stats = followed.statistics();
    EXPECT_EQ(stats.triangles, placements * tileTriangles);
    // 64 placements of their own and about five merged batches, not 300 renderables.
    EXPECT_LE(stats.renderables, 80);
    EXPECT_LE(stats.meshBuffers, 1);

    zalViewerRenderer reference;
    QString error;
    ASSERT_TRUE(reference.initialize(error)) << error.toStdString();
    const QImage expected = reference.renderImage(
        plain.scene, settings, reference.view(plain.scene, settings), QSize(160, 120), error);
    ASSERT_FALSE(expected.isNull()) << error.toStdString();
    const Difference d = compare(last, expected);
    EXPECT_LT(d.mean, 2.0) << "the merged placements are not where the plain squares are";
    EXPECT_LT(d.changedShare, 0.01);
    reference.release();

    // Moves and erasures of placements drawn either way.
    f.remove("P0", "Model");
    f.instance("P0", "Model", "Tile", QVector3D(-60, -60, 0));
    f.remove("P250", "Model");
    f.instance("P250", "Model", "Tile", QVector3D(660, 0, 0));
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("moves"));
    for (int i = 1; i < placements; i += 7)
        f.remove(QStringLiteral("P%1").arg(i), "Model");
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("erasures"));
    EXPECT_EQ(followed.statistics().triangles, (placements - (placements + 5) / 7) * tileTriangles);
    followed.release();
}

// The host sends a drawing as one placed block holding every entity: a node of thousands of children.
class BuiltInSteps : public Renderer
{
protected:
    static constexpr int kEntities = 3000;
    void SetUp() override
    {
        Renderer::SetUp();
        // As the viewer does, the empty scene is drawn before the drawing's content comes.
        draw(followed);
        f.material("Red", 0x0000C0);
        f.material("Blue", 0xC00000);
        f.instance("Root", "Model", "Block", QVector3D(0, 0, 0));
        for (int i = 0; i < kEntities; ++i)
            entity(i, QVector3D(float(i % 60) * 30, float(i / 60) * 30, 0));
        ASSERT_TRUE(f.errors.isEmpty()) << f.errors.join("; ").toStdString();
    }
    void entity(int i, QVector3D at)
    {
        const QString name = QStringLiteral("E%1").arg(i);
        f.instance(name, "Block", "", at);
        f.square(name + "_M", name, 20, i % 3 ? "Red" : "Blue");
    }
    // Steps of the smallest budget: one child each.
    int step(int steps)
    {
        int taken = 0;
        while (taken < steps && !followed.prepare(f.scene, 0))
            ++taken;
        return taken;
    }
};

TEST_F(BuiltInSteps, APictureInTheMiddleShowsTheWholeSceneWithTheEditsMadeMeanwhile)
{
    EXPECT_FALSE(followed.prepare(f.scene, 0)) << "3000 entities are built in more than one step";
    EXPECT_TRUE(followed.isBuilding());
    ASSERT_EQ(step(200), 200);
    // Edits between steps: to entities already drawn, to ones not reached yet, a new one, a colour.
    f.remove("E3", "Block");
    f.remove("E2990", "Block");
    f.remove("E2500", "Block");
    f.instance("E2500", "Block", "", QVector3D(-200, -200, 0));
    f.square("E2500_M", "E2500", 20, "Blue");
    f.remove("E10", "Block");
    f.instance("E10", "Block", "", QVector3D(1900, 0, 0));
    f.square("E10_M", "E10", 20, "Red");
    entity(kEntities, QVector3D(-200, 1000, 0));
    f.material("Blue", 0x00C000);
    ASSERT_EQ(step(300), 300);
    ASSERT_TRUE(followed.isBuilding());
    // The picture finishes the drawing first: every square is in it, where a fresh drawing puts it.
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("a picture in the middle of the build"));
    EXPECT_FALSE(followed.isBuilding());
    EXPECT_EQ(followed.statistics().triangles, 2LL * (kEntities - 1));
    EXPECT_EQ(followed.statistics().buildsFinishedAtOnce, 1);
    EXPECT_GT(followed.statistics().buildSlices, 500);
    followed.release();
}

TEST_F(BuiltInSteps, StepsEndInTheDrawingOfTheSceneAsItIsThenAndManyChangesAreBuiltInStepsAgain)
{
    ASSERT_EQ(step(100), 100);
    // The block's placement goes and comes back elsewhere while its children are being made.
    f.remove("Root", "Model");
    f.instance("Root", "Model", "Block", QVector3D(500, 0, 0));
    step(1 << 30);
    EXPECT_FALSE(followed.isBuilding());
    EXPECT_GT(followed.statistics().buildSlices, kEntities);
    EXPECT_EQ(followed.statistics().buildsFinishedAtOnce, 0);
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("after the last step"));

    // A few edits are followed at once; thousands at once start a build in steps.
    f.remove("E7", "Block");
    EXPECT_TRUE(followed.prepare(f.scene, 0));
    for (int i = kEntities; i < 2 * kEntities; ++i)
        entity(i, QVector3D(float(i % 60) * 30, -float(i / 60) * 30, 0));
    EXPECT_FALSE(followed.prepare(f.scene, 0));
    step(1 << 30);
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("thousands added"));
    EXPECT_EQ(followed.statistics().triangles, 2LL * (2 * kEntities - 1));
    followed.release();
}

TEST_F(BuiltInSteps, AnEditBetweenEveryStepDoesNotKeepTheBuildFromFinishing)
{
    // An edit arrives between every two steps, as when the host edits while the first drawing is built.
    // Walking the block's list again from its start after each edit never got past its first children.
    int steps = 0;
    bool done = false;
    while (!done && steps < 2 * kEntities) {
        f.material("Blue", steps % 2 ? 0xC00000 : 0x00C000);
        done = followed.prepare(f.scene, 0);
        ++steps;
    }
    EXPECT_TRUE(done) << "still building after " << steps << " steps with an edit before each";
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("edits between every step"));
    EXPECT_EQ(followed.statistics().triangles, 2LL * kEntities);
    followed.release();
}

TEST_F(BuiltInSteps, AStepEndsAtOnceWhenSomethingWaitsAndNotOtherwise)
{
    // A budget far beyond the whole build: only the waiting message can end the step early.
    EXPECT_FALSE(followed.prepare(f.scene, 600000, [] { return true; }));
    EXPECT_TRUE(followed.isBuilding()) << "a waiting message did not end the step";
    EXPECT_TRUE(followed.prepare(f.scene, 600000, [] { return false; }));
    EXPECT_FALSE(followed.isBuilding());
    EXPECT_EQ(followed.statistics().buildSlices, 2);
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("after a step ended early"));
    followed.release();
}

TEST_F(BuiltInSteps, MessagesWaitingAtEveryStepWithEditsBetweenDoNotKeepTheBuildFromFinishing)
{
    // A message waits at every step (as when edits keep coming during a large drawing's build) and no
    // time limit ends a step. Before each step five entities of a heavier kind are re-added, each in
    // another of their merged batches, so once the batches are being put together every step finds
    // several of them taken apart again.
    constexpr int kHeavy = 600, kCells = 8, kPerStep = 5, kMostSteps = 3000;
    f.material("Heavy", 0x40A0A0);
    auto heavy = [&](int i) {
        const QString name = QStringLiteral("H%1").arg(i);
        f.instance(name, "Block", "", QVector3D(float(i % 30) * 30, -30.0f - float(i / 30) * 30, 0));
        f.tiledSquare(name + "_M", name, 20, kCells, "Heavy");
    };
    for (int i = 0; i < kHeavy; ++i)
        heavy(i);
    int steps = 0;
    bool done = false;
    while (!done && steps < kMostSteps) {
        for (int j = 0; j < kPerStep; ++j) {
            const int i = (steps * 7 + j * kHeavy / kPerStep) % kHeavy;
            f.remove(QStringLiteral("H%1").arg(i), "Block");
            heavy(i);
        }
        done = followed.prepare(f.scene, 600000, [] { return true; });
        ++steps;
    }
    ASSERT_TRUE(f.errors.isEmpty()) << f.errors.join("; ").toStdString();
    // The build has 3,600 children and about twenty batches of 16,000 vertices: some 14,000 units of
    // work, a child or 32 vertices each. Past its first few steps each step moves it on by at least 32
    // units on top of what the edits undid, so it ends within about 450. A step that gave up after one
    // child or batch needed thousands; one that did not make up for the batches taken apart never ended.
    EXPECT_TRUE(done) << "still building after " << steps << " steps with a message waiting at each";
    EXPECT_LE(steps, 450);
    EXPECT_GT(steps, 5) << "the waiting messages did not end the steps";
    // Yet an edit waits for no more than that share and the batch under way when it was reached.
    EXPECT_GT(followed.statistics().mostUnitsBeforeAnswer, 0);
    EXPECT_LE(followed.statistics().mostUnitsBeforeAnswer, 32 + 16384 / 32 + 1);
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("messages waiting at every step"));
    EXPECT_EQ(followed.statistics().triangles, 2LL * kEntities + 2LL * kCells * kCells * kHeavy);
    followed.release();
}

TEST_F(BuiltInSteps, ABuildTakingInMoreChangesThanTheLogKeepsFinishesWithoutStartingOver)
{
    // The viewer forgets what the drawing has taken in after every step. Changes that keep coming
    // during a long build then never fill the scene's log (262,144 kept), which would lose the ones not
    // yet taken in and start the build over from scratch.
    constexpr int kChanges = 300000, kPerStep = 1500;
    EXPECT_FALSE(followed.prepare(f.scene, 0));
    const int started = followed.statistics().buildsStarted;
    f.scene.forgetChanges(followed.followedChanges());
    int changes = 0, steps = 0;
    bool done = false;
    std::size_t mostKept = 0;
    while (!done) {
        // A material nothing draws with: each change costs the drawing nothing.
        for (int k = 0; k < kPerStep && changes < kChanges; ++k, ++changes)
            f.material("Unused", quint32(changes));
        ASSERT_FALSE(changes < kChanges && !followed.isBuilding()) << "the build ended before the changes";
        done = followed.prepare(f.scene, 0);
        mostKept = std::max(mostKept, f.scene.changesKept());
        f.scene.forgetChanges(followed.followedChanges());
        ++steps;
    }
    ASSERT_TRUE(f.errors.isEmpty()) << f.errors.join("; ").toStdString();
    EXPECT_EQ(changes, kChanges);
    EXPECT_EQ(followed.statistics().buildsStarted, started) << "the build started over";
    EXPECT_LE(mostKept, std::size_t(kPerStep));
    EXPECT_EQ(f.scene.changesKept(), 0u);
    EXPECT_GT(steps, kEntities) << "steps of one child each";
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("after hundreds of thousands of changes"));
    followed.release();
}

TEST_F(BuiltInSteps, EditsTakenInWhileNothingIsDrawnAreKeptOncePerThingAndFollowedWithoutBuildingAnew)
{
    // While the window is hidden (or the build held, or the path tracer draws) the viewer takes every
    // edit in at once and draws nothing. 2,000 moves of the same eight entities and a colour change each
    // time are five times more changes than the drawing follows one by one (2,048): kept as a list they
    // would make the next frame build everything anew.
    step(1 << 30);
    ASSERT_FALSE(followed.isBuilding());
    const int started = followed.statistics().buildsStarted;
    constexpr int kMoves = 2000, kMoved = 8;
    for (int k = 0; k < kMoves; ++k) {
        const int i = (k % kMoved) * 300;
        f.remove(QStringLiteral("E%1").arg(i), "Block");
        entity(i, QVector3D(-600.0f - float(k % 40) * 10, float(i) / 2, 0));
        f.material("Blue", k % 2 ? 0xC00000 : 0x00C000);
        followed.takeChanges(f.scene);
        f.scene.forgetChanges(followed.followedChanges());
        ASSERT_EQ(f.scene.changesKept(), 0u) << "the scene still keeps what the drawing took in";
    }
    ASSERT_TRUE(f.errors.isEmpty()) << f.errors.join("; ").toStdString();
    // Each moved entity's place under the block and its meshes, and the material.
    EXPECT_LE(followed.statistics().changesTakenIn, std::size_t(2 * kMoved + 1));
    EXPECT_TRUE(followed.prepare(f.scene, 0)) << "the edits were not followed in one step";
    EXPECT_EQ(followed.statistics().buildsStarted, started) << "the drawing was built anew";
    EXPECT_EQ(followed.statistics().changesTakenIn, 0u);
    // The moved entities are where the scene has them (the bounds reach out to them), in the last colour.
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("edits taken in while nothing was drawn"));
    followed.release();
}

TEST_F(BuiltInSteps, ThousandsOfThingsChangedWhileNothingIsDrawnAreKeptNoLongerThanTheyAreWorthFollowing)
{
    // 3,000 entities added one by one while nothing is drawn: past the changes worth following one by
    // one, the drawing keeps only that it must build anew.
    step(1 << 30);
    const int started = followed.statistics().buildsStarted;
    std::size_t most = 0;
    for (int i = kEntities; i < 2 * kEntities; ++i) {
        entity(i, QVector3D(float(i % 60) * 30, -float(i / 60) * 30, 0));
        followed.takeChanges(f.scene);
        f.scene.forgetChanges(followed.followedChanges());
        most = std::max(most, followed.statistics().changesTakenIn);
    }
    EXPECT_EQ(f.scene.changesKept(), 0u);
    EXPECT_LE(most, std::size_t(2048 + 2)) << "every thing changed was kept";
    EXPECT_EQ(followed.statistics().changesTakenIn, 1u) << "the build anew is not what is kept";
    EXPECT_FALSE(followed.prepare(f.scene, 0)) << "6,000 entities are built anew in more than one step";
    EXPECT_EQ(followed.statistics().buildsStarted, started + 1);
    step(1 << 30);
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("thousands added while nothing was drawn"));
    EXPECT_EQ(followed.statistics().triangles, 2LL * 2 * kEntities);
    followed.release();
}

TEST_F(BuiltInSteps, EditsBeforeThousandsOfStepsDoNotExhaustTheDriver)
{
    // Steps of a build draw no frame, and a frame is what hands Filament's commands to its driver
    // thread; until then a destroyed buffer keeps its handle. Ten entities of ten materials are re-added
    // before each step, so once the children are made every step puts a batch together that the next
    // edits take apart again (as when edits keep coming while a large drawing's batches are made).
    // Without the commands handed over, Filament's handle arena ran out after about 2,600 batches.
    constexpr int kMaterials = 10, kSteps = 6000;
    for (int k = 0; k < kMaterials; ++k)
        f.material(QStringLiteral("M%1").arg(k), 0x202020u * quint32(k % 8) + 0x1F);
    int building = 0;
    for (int s = 0; s < kSteps; ++s) {
        for (int k = 0; k < kMaterials; ++k) {
            const int i = k * 300 + s % 300;
            const QString name = QStringLiteral("E%1").arg(i);
            f.remove(name, "Block");
            f.instance(name, "Block", "", QVector3D(float(i % 60) * 30, float(i / 60) * 30, 0));
            f.square(name + "_M", name, 20, QStringLiteral("M%1").arg(k));
        }
        if (!followed.prepare(f.scene, 0)) ++building;
    }
    ASSERT_TRUE(f.errors.isEmpty()) << f.errors.join("; ").toStdString();
    EXPECT_GT(building, kSteps / 2) << "the edits were followed without a build in steps";
    // Once the edits stop, the build ends in the scene as it is.
    step(1 << 30);
    EXPECT_FALSE(followed.isBuilding());
    ASSERT_NO_FATAL_FAILURE(expectLikeAFreshDrawing("after thousands of steps with edits"));
    EXPECT_EQ(followed.statistics().triangles, 2LL * kEntities);
    followed.release();
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
