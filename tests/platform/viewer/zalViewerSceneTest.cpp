// The viewer's scene: what content messages leave in it, what it refuses, and that nothing a
// well-framed message carries can break it.
#include "zalViewerScene.h"
#include "XoRemoteRenderMessage.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <limits>

#include <random>

namespace {

using Message = std::shared_ptr<XoRemoteRenderMessage>;

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Through the wire format, so the scene holds views into a received buffer as in the viewer.
std::shared_ptr<const XoRemoteRenderMessage> received(const XoRemoteRenderMessage& sent)
{
    auto m = std::make_shared<XoRemoteRenderMessage>();
    std::string error;
    EXPECT_TRUE(XoRemoteRenderMessage::decode(sent.frameBytes(), *m, error)) << error;
    return m;
}

class Scene : public ::testing::Test
{
protected:
    void apply(const XoRemoteRenderMessage& m) { scene.apply(received(m), lost, errors); }
    void instance(const char* name, const char* parent, const char* component = "",
                  const float* t = kIdentity)
    {
        XoRemoteRenderMessage m(XoMessageType::AddInstance);
        m.addString(name)
            .addString(parent)
            .addString(component)
            .addString(name)
            .addFloatArray(t, 16)
            .addString("");
        apply(m);
    }
    void mesh(const char* name, const char* parent, std::vector<float> positions,
              std::vector<std::int32_t> faces, int vertexCount, int faceCount)
    {
        XoRemoteRenderMessage m(XoMessageType::AddMesh);
        m.addString(name).addString(parent).addString("");
        m.addFloatArray(positions.data(), positions.size()).addFloatArray(nullptr, 0);
        m.addFloatArray(nullptr, 0).addFloatArray(nullptr, 0).addIntArray(nullptr, 0);
        m.addIntArray(faces.data(), faces.size()).addInt(faceCount).addInt(vertexCount);
        m.addString("M").addString("M");
        apply(m);
    }

    zalViewerScene scene;
    std::vector<zalViewerScene::Key> lost;
    QStringList errors;
};

TEST_F(Scene, HoldsMeshesAndWorksOutTheirBounds)
{
    mesh("E_M", "E", {0, 0, 0, 10, 0, 0, 0, 20, -5}, {3}, 3, 1);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    ASSERT_EQ(scene.meshes().size(), 1u);
    const zalViewerScene::Mesh& m = scene.meshes().begin()->second;
    QVector3D low, high;
    ASSERT_TRUE(m.bounds(low, high));
    EXPECT_EQ(low, QVector3D(0, 0, -5));
    EXPECT_EQ(high, QVector3D(10, 20, 0));
    EXPECT_EQ(scene.meshesOf("E").size(), 1u);
    const QJsonObject json = scene.toJson().value("meshes").toArray().at(0).toObject();
    EXPECT_EQ(json.value("positions").toInt(), 9);
    EXPECT_EQ(json.value("faceSizes").toInt(), 1);

    // A vertex with a coordinate that is not finite does not count at all, its finite ones included.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    mesh("F_M", "F", {1, 2, 3, inf, 50, 50, -1, 4, 2, nan, -70, 9, 2, -3, 1, 0, 0, -inf}, {3, 3}, 6, 2);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    int checked = 0;
    for (const auto& entry : scene.meshes()) {
        if (entry.first.name != "F_M") continue;
        ++checked;
        ASSERT_TRUE(entry.second.bounds(low, high));
        EXPECT_EQ(low, QVector3D(-1, -3, 1));
        EXPECT_EQ(high, QVector3D(2, 4, 3));
    }
    // Finite throughout, six vertices: four taken together, two after; extremes in both parts.
    mesh("H_M", "H", {0, 0, 0, 9, -1, 2, 3, 8, -4, 1, 1, 1, -6, 2, 0, 0, -3, 7}, {3, 3}, 6, 2);
    for (const auto& entry : scene.meshes()) {
        if (entry.first.name != "H_M") continue;
        ++checked;
        ASSERT_TRUE(entry.second.bounds(low, high));
        EXPECT_EQ(low, QVector3D(-6, -3, -4));
        EXPECT_EQ(high, QVector3D(9, 8, 7));
    }
    // Not finite only after the whole groups of four (the vertex after them) or only in the second group:
    // those vertices alone are left out.
    mesh("J_M", "J", {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, inf, 90, 90}, {5}, 5, 1);
    mesh("K_M", "K", {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, -inf, 5, 6, 6, 6, 7, 7, 7, -8, 8, 8},
         {3, 3, 3}, 9, 3);
    for (const auto& entry : scene.meshes()) {
        if (entry.first.name != "J_M" && entry.first.name != "K_M") continue;
        ++checked;
        ASSERT_TRUE(entry.second.bounds(low, high));
        if (entry.first.name == "J_M") {
            EXPECT_EQ(low, QVector3D(0, 0, 0));
            EXPECT_EQ(high, QVector3D(3, 3, 3));
        } else {
            EXPECT_EQ(low, QVector3D(-8, 0, 0));
            EXPECT_EQ(high, QVector3D(7, 8, 8));
        }
    }
    // Nothing finite: no bounds.
    mesh("G_M", "G", {inf, 0, 0, 0, nan, 0, 0, 0, -inf}, {3}, 3, 1);
    for (const auto& entry : scene.meshes()) {
        if (entry.first.name == "G_M") {
            ++checked;
            EXPECT_FALSE(entry.second.bounds(low, high));
        }
    }
    EXPECT_EQ(checked, 5);
}

TEST_F(Scene, AnInstanceSentAgainKeepsItsConnectionsAndABadTransformIsRefused)
{
    instance("E", "Model", "Block");
    XoRemoteRenderMessage connect(XoMessageType::AssureEntityConnected);
    connect.addString("E").addString("Other");
    apply(connect);
    const float moved[16] = {1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0, 0, 0, 1}; // rows
    instance("E", "Model", "Other block", moved);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    ASSERT_EQ(scene.instances().size(), 1u);
    const zalViewerScene::Instance& e = scene.instances().begin()->second;
    EXPECT_EQ(e.component, "Other block");
    EXPECT_EQ(e.transform.column(3), QVector4D(5, 6, 7, 1));
    EXPECT_EQ(e.connections, (std::set<QString>{"Other"}));

    float broken[16];
    std::copy(moved, moved + 16, broken);
    broken[5] = std::numeric_limits<float>::quiet_NaN();
    instance("F", "Model", "Block", broken);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.front(), "addInstance F: the transform is not 16 finite floats");
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost.front().name, "F");
    EXPECT_EQ(lost.front().parent, "Model");
    EXPECT_EQ(scene.instances().size(), 1u);
}

TEST_F(Scene, RefusesMeshesWhoseArraysDoNotAgree)
{
    struct Case
    {
        const char* name;
        std::vector<float> positions;
        std::vector<std::int32_t> faces;
        int vertices, faceCount;
        const char* expected;
    };
    const Case cases[] = {
        {"too few positions", {0, 0, 0, 1, 1, 1}, {3}, 3, 1, "position floats"},
        {"face count differs", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {3}, 3, 2, "face sizes where"},
        {"sizes do not add up", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {4}, 3, 1, "add up"},
        {"a face of two", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {2, 1}, 3, 2, "has size"},
        {"negative vertices", {}, {}, -3, 0, "negative"},
        {"smallest int",
         {0, 0, 0, 1, 0, 0, 0, 1, 0},
         {std::numeric_limits<std::int32_t>::min()},
         3,
         1,
         "has size"},
    };
    for (const Case& c : cases) {
        lost.clear();
        errors.clear();
        mesh(c.name, "E", c.positions, c.faces, c.vertices, c.faceCount);
        ASSERT_EQ(lost.size(), 1u) << c.name;
        EXPECT_EQ(lost[0].name, c.name);
        EXPECT_EQ(lost[0].parent, "E");
        EXPECT_TRUE(errors.join("").contains(c.expected)) << c.name << ": " << errors.join("").toStdString();
    }
    EXPECT_TRUE(scene.meshes().empty());
    // A reversed face (negative size) is fine.
    lost.clear();
    mesh("reversed", "E", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {-3}, 3, 1);
    EXPECT_TRUE(lost.empty());
}

TEST_F(Scene, ReplacesUnderTheSameNameAndParent)
{
    const float moved[16] = {1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    instance("E", "B");
    instance("E", "B", "", moved);
    instance("E", "C");
    ASSERT_EQ(scene.instances().size(), 2u);
    EXPECT_FLOAT_EQ(scene.instances().at({"E", "B"}).transform(0, 3), 5.0f);
    EXPECT_EQ(scene.instancesUnder("B").size(), 1u);
}

TEST_F(Scene, RemovesEntitiesWithTheirMeshesAndChildren)
{
    instance("S", "Model");
    instance("C", "S");
    mesh("C_M", "C", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {3}, 3, 1);
    instance("Keep", "Model");
    XoRemoteRenderMessage remove(XoMessageType::RemoveEntity);
    remove.addString("S").addString("Model").addBool(true).addBool(true);
    apply(remove);
    EXPECT_EQ(scene.instances().size(), 1u);
    EXPECT_TRUE(scene.meshes().empty());
    EXPECT_EQ(scene.instances().begin()->first.name, "Keep");
}

// A drawing's worth of entities whose names share prefixes (E4, E42, E420), each with meshes, a child
// instance, a light, a spawned batch and a second owner; one of them also lives in a block.
class LargeScene : public Scene
{
protected:
    // Everything entity i brings, into `target`.
    void entity(int i, zalViewerScene& target)
    {
        const std::string e = "E" + std::to_string(i);
        const std::string child = e + "_C";
        auto to = [&](const XoRemoteRenderMessage& m) { target.apply(received(m), lost, errors); };
        XoRemoteRenderMessage inst(XoMessageType::AddInstance);
        inst.addString(e)
            .addString("Model")
            .addString("")
            .addString(e)
            .addFloatArray(kIdentity, 16)
            .addString("");
        to(inst);
        if (i % 7 == 0) {
            XoRemoteRenderMessage inBlock(XoMessageType::AddInstance);
            inBlock.addString(e)
                .addString("Block")
                .addString("")
                .addString(e)
                .addFloatArray(kIdentity, 16)
                .addString("");
            to(inBlock);
        }
        XoRemoteRenderMessage sub(XoMessageType::AddInstance);
        sub.addString(child)
            .addString(e)
            .addString("")
            .addString(child)
            .addFloatArray(kIdentity, 16)
            .addString("");
        to(sub);
        const float positions[9] = {0, 0, 0, 1, 0, 0, 0, 1, float(i)};
        const std::int32_t faces[1] = {3};
        for (const std::string& owner : {e, child}) {
            XoRemoteRenderMessage m(XoMessageType::AddMesh);
            m.addString(owner + "_M").addString(owner).addString("");
            m.addFloatArray(positions, 9).addFloatArray(nullptr, 0);
            m.addFloatArray(nullptr, 0).addFloatArray(nullptr, 0).addIntArray(nullptr, 0);
            m.addIntArray(faces, 1).addInt(1).addInt(3);
            m.addString("M").addString("M");
            to(m);
        }
        XoRemoteRenderMessage light(XoMessageType::AddLight);
        light.addString(e + "_L")
            .addString(e)
            .addFloat(1)
            .addUInt(0)
            .addInt(1)
            .addFloat(0)
            .addFloat(0)
            .addFloat(0)
            .addFloat(0)
            .addBool(false)
            .addFloat(0)
            .addString("")
            .addFloatArray(kIdentity, 16)
            .addBool(true);
        to(light);
        std::vector<float> transforms(16 * 2, float(i));
        XoRemoteRenderMessage spawn(XoMessageType::SpawnInstances);
        spawn.addString(e + "_S")
            .addString(e)
            .addString("K")
            .addString("")
            .addInt(2)
            .addFloatArray(transforms.data(), 32)
            .addString("");
        to(spawn);
        XoRemoteRenderMessage connect(XoMessageType::AssureEntityConnected);
        connect.addString(e).addString("Other");
        to(connect);
    }

    void build(zalViewerScene& target, int skipped)
    {
        for (int i = 0; i < kCount; ++i)
            if (i != skipped) entity(i, target);
    }

    static const int kCount = 500;
};

TEST_F(LargeScene, RemovingOneEntityLeavesEveryOtherEntityMeshAndConnection)
{
    build(scene, -1);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    ASSERT_TRUE(lost.empty());
    // E42's neighbours in name order (E42_C, E420, E421...) and its block instance must survive this.
    XoRemoteRenderMessage remove(XoMessageType::RemoveEntity);
    remove.addString("E42").addString("Model").addBool(true).addBool(true);
    apply(remove);

    zalViewerScene expected;
    build(expected, 42);
    // Under its other parent E42 stays, without the removed owner among its connections.
    XoRemoteRenderMessage inBlock(XoMessageType::AddInstance);
    inBlock.addString("E42")
        .addString("Block")
        .addString("")
        .addString("E42")
        .addFloatArray(kIdentity, 16)
        .addString("");
    expected.apply(received(inBlock), lost, errors);
    XoRemoteRenderMessage connect(XoMessageType::AssureEntityConnected);
    connect.addString("E42").addString("Other");
    expected.apply(received(connect), lost, errors);
    EXPECT_EQ(scene.toJson(), expected.toJson());
    for (const QString& owner : {QString("Model"), QString("Other"), QString("Block"), QString("E42"),
                                 QString("E420"), QString("E4"), QString("E42_C"), QString("E420_C")}) {
        EXPECT_EQ(scene.instancesUnder(owner).size(), expected.instancesUnder(owner).size())
            << owner.toStdString();
        EXPECT_EQ(scene.meshesOf(owner).size(), expected.meshesOf(owner).size()) << owner.toStdString();
        EXPECT_EQ(scene.spawnsUnder(owner).size(), expected.spawnsUnder(owner).size()) << owner.toStdString();
    }

    // Without a parent the entity goes under every owner; sent again it is held again, and can go again.
    XoRemoteRenderMessage everywhere(XoMessageType::RemoveEntity);
    everywhere.addString("E42").addString("").addBool(true).addBool(true);
    apply(everywhere);
    const QJsonObject without = scene.toJson();
    entity(42, scene);
    EXPECT_EQ(scene.instances().size(), expected.instances().size() + 2); // E42 under Model, and E42_C
    apply(everywhere);
    EXPECT_EQ(scene.toJson(), without);
    EXPECT_TRUE(lost.empty());
}

TEST_F(LargeScene, MeshesOfOneOwnerAndADroppedEntityGoAlone)
{
    build(scene, -1);
    XoRemoteRenderMessage meshesOnly(XoMessageType::RemoveEntityMeshes);
    meshesOnly.addString("E4");
    apply(meshesOnly);
    EXPECT_TRUE(scene.meshesOf("E4").empty());
    EXPECT_EQ(scene.meshesOf("E4_C").size(), 1u);
    EXPECT_EQ(scene.meshesOf("E42").size(), 1u);
    EXPECT_EQ(scene.meshes().size(), std::size_t(2 * kCount - 1));

    EXPECT_TRUE(scene.drop("E7"));
    EXPECT_EQ(scene.instances().count({"E7", "Block"}), 0u);
    EXPECT_EQ(scene.instances().count({"E7_C", "E7"}), 0u);
    EXPECT_EQ(scene.instances().count({"E70", "Block"}), 1u);
    EXPECT_EQ(scene.lights().count({"E7_L", "E7"}), 0u);
    EXPECT_EQ(scene.lights().count({"E70_L", "E70"}), 1u);
    EXPECT_EQ(scene.meshes().size(), std::size_t(2 * kCount - 3));
    EXPECT_FALSE(scene.drop("E7"));
}

// A confirmation of a pair the scene holds changes nothing; one of a pair it no longer holds connects an
// instance of that name or is refused. Each removal, replacement and clearing must leave that answer right.
class Confirmations : public LargeScene
{
protected:
    enum Outcome
    {
        Nothing,
        Connected,
        Refused
    };
    Outcome confirm(const char* name, const char* parent)
    {
        const std::uint64_t revision = scene.revision();
        const std::size_t refused = lost.size();
        XoRemoteRenderMessage connect(XoMessageType::AssureEntityConnected);
        connect.addString(name).addString(parent);
        apply(connect);
        if (lost.size() == refused + 1 && lost.back().name == name && lost.back().parent == parent)
            return Refused;
        EXPECT_EQ(lost.size(), refused) << name << " under " << parent;
        return scene.revision() == revision ? Nothing : Connected;
    }
    void remove(const char* name, const char* parent, bool children)
    {
        XoRemoteRenderMessage m(XoMessageType::RemoveEntity);
        m.addString(name).addString(parent).addBool(children).addBool(children);
        apply(m);
    }
    void SetUp() override
    {
        build(scene, -1);
        ASSERT_TRUE(lost.empty());
    }
};

TEST_F(Confirmations, OfHeldPairsChangeNothingAndOfRemovedOnesAreRefused)
{
    // Held by each kind of container.
    EXPECT_EQ(confirm("E5", "Model"), Nothing);
    EXPECT_EQ(confirm("E5_M", "E5"), Nothing);
    EXPECT_EQ(confirm("E5_L", "E5"), Nothing);
    EXPECT_EQ(confirm("E5_S", "E5"), Nothing);
    EXPECT_EQ(confirm("E5_C_M", "E5_C"), Nothing);

    // Removed with its children and meshes; its neighbours in name order stay.
    remove("E8", "Model", true);
    for (const auto& gone : {std::pair<const char*, const char*>{"E8", "Model"},
                             {"E8_M", "E8"},
                             {"E8_L", "E8"},
                             {"E8_S", "E8"},
                             {"E8_C", "E8"},
                             {"E8_C_M", "E8_C"}})
        EXPECT_EQ(confirm(gone.first, gone.second), Refused) << gone.first;
    EXPECT_EQ(confirm("E80", "Model"), Nothing);
    EXPECT_EQ(confirm("E80_M", "E80"), Nothing);
    // Sent again, it is held again.
    entity(8, scene);
    EXPECT_EQ(confirm("E8", "Model"), Nothing);
    EXPECT_EQ(confirm("E8_C_M", "E8_C"), Nothing);

    // Only the meshes of one owner.
    XoRemoteRenderMessage meshesOnly(XoMessageType::RemoveEntityMeshes);
    meshesOnly.addString("E4");
    apply(meshesOnly);
    EXPECT_EQ(confirm("E4_M", "E4"), Refused);
    EXPECT_EQ(confirm("E4", "Model"), Nothing);
    EXPECT_EQ(confirm("E4_C_M", "E4_C"), Nothing);

    // Dropped under every owner (E7 also lives in the block).
    EXPECT_TRUE(scene.drop("E7"));
    EXPECT_EQ(confirm("E7", "Block"), Refused);
    EXPECT_EQ(confirm("E7_L", "E7"), Refused);
    EXPECT_EQ(confirm("E70", "Block"), Nothing);
}

TEST_F(Confirmations, FollowRenamesMovesAndPairsHeldTwice)
{
    // Moved to another owner: the old pair now connects the instance instead of being a no-op.
    remove("E9", "Model", false);
    instance("E9", "Moved");
    EXPECT_EQ(confirm("E9", "Model"), Connected);
    EXPECT_EQ(scene.instances().at({"E9", "Moved"}).connections.count("Model"), 1u);
    EXPECT_EQ(confirm("E9", "Moved"), Nothing);

    // Renamed: nothing of the old name is left to connect.
    remove("E10", "Model", true);
    instance("E10x", "Model");
    EXPECT_EQ(confirm("E10", "Model"), Refused);
    EXPECT_EQ(confirm("E10x", "Model"), Nothing);

    // One pair held by an instance and a mesh: removing the mesh leaves the instance holding it.
    mesh("E11", "Model", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {3}, 3, 1);
    XoRemoteRenderMessage meshesOnly(XoMessageType::RemoveEntityMeshes);
    meshesOnly.addString("Model");
    apply(meshesOnly);
    ASSERT_EQ(scene.meshes().count({"E11", "Model"}), 0u);
    EXPECT_EQ(confirm("E11", "Model"), Nothing);
    remove("E11", "Model", true);
    EXPECT_EQ(confirm("E11", "Model"), Refused);

    // A cleared session holds nothing.
    apply(XoRemoteRenderMessage(XoMessageType::ClearSession));
    EXPECT_EQ(confirm("E5", "Model"), Refused);
    EXPECT_EQ(confirm("E5_M", "E5"), Refused);
}

// Names the scene reuses among the fields it prepares: each must come back as exactly the text it was sent.
class RecentNames : public ::testing::Test
{
protected:
    QString text(const std::string& sent)
    {
        XoRemoteRenderMessage m(XoMessageType::AssureEntityConnected);
        m.addString(sent).addString("");
        return recent.str(received(m)->field("name"));
    }
    zalViewerText::Recent recent;
};

TEST_F(RecentNames, EqualTextIsSharedAndEveryOtherTextComesBackAsSent)
{
    const QString first = text("D_AcDbBlockTableRecord_1F");
    const QString again = text("D_AcDbBlockTableRecord_1F");
    EXPECT_EQ(again, "D_AcDbBlockTableRecord_1F");
    EXPECT_EQ(again.constData(), first.constData()) << "equal names from two frames should share their text";

    // More names than there is room for, several of them only a character or a length apart, in turns.
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i)
        names.push_back("E" + std::to_string(i));
    names.push_back("D_AcDbBlockTableRecord_1G");
    names.push_back("D_AcDbBlockTableRecord_1");
    for (int round = 0; round < 3; ++round)
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string& name = names[(k * 7 + std::size_t(round)) % names.size()];
            ASSERT_EQ(text(name), QString::fromStdString(name)) << "round " << round;
        }
}

TEST_F(RecentNames, TextBeyondAsciiAndEmptyTextAreDecodedAsUtf8)
{
    EXPECT_EQ(text("W\xC3\xA4nde"), QString::fromUtf8("W\xC3\xA4nde"));
    EXPECT_EQ(text("W\xC3\xA4nde").size(), 5);
    EXPECT_EQ(text("Wande"), "Wande");
    EXPECT_TRUE(text("").isEmpty());
}

TEST_F(Scene, ConnectsHeldEntitiesAndReportsMissingOnes)
{
    instance("E", "B");
    XoRemoteRenderMessage connect(XoMessageType::AssureEntityConnected);
    connect.addString("E").addString("Model");
    apply(connect);
    EXPECT_TRUE(lost.empty());
    EXPECT_EQ(scene.instancesUnder("Model").size(), 1u);
    XoRemoteRenderMessage missing(XoMessageType::AssureEntityConnected);
    missing.addString("Ghost").addString("Model");
    apply(missing);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].name, "Ghost");
}

TEST_F(Scene, SpawnedBatchesNeedSixteenFloatsPerInstance)
{
    std::vector<float> transforms(32, 0.0f);
    XoRemoteRenderMessage good(XoMessageType::SpawnInstances);
    good.addString("S[SE:K]").addString("S").addString("K").addString("").addInt(2);
    good.addFloatArray(transforms.data(), 32).addString("");
    apply(good);
    EXPECT_EQ(scene.spawns().size(), 1u);
    XoRemoteRenderMessage bad(XoMessageType::SpawnInstances);
    bad.addString("T").addString("S").addString("K").addString("").addInt(3);
    bad.addFloatArray(transforms.data(), 32).addString("");
    apply(bad);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].name, "T");
}

TEST_F(Scene, AnythingAWellFramedMessageCarriesIsHandled)
{
    // Every content type with random values and random array lengths: applied or refused, never
    // a crash (run under the sanitizers in CI).
    std::mt19937 random(99);
    const std::vector<XoMessageType> types = XoRemoteRenderMessage::allTypes();
    std::vector<float> floats(4096);
    std::vector<std::int32_t> ints(4096);
    for (int round = 0; round < 5000; ++round) {
        for (auto& f : floats)
            f = random() % 5 == 0 ? std::numeric_limits<float>::quiet_NaN()
                                  : float(int(random() % 2001) - 1000);
        for (auto& i : ints)
            i = int(random() % 9) - 4;
        const XoMessageType type = types[random() % types.size()];
        XoRemoteRenderMessage m(type);
        if (!zalViewerScene::isContent(m)) continue;
        for (const auto& field : XoRemoteRenderMessage::schema(type)) {
            switch (field.second) {
            case XoFieldKind::String:
                m.addString(random() % 2 ? "A" : "B");
                break;
            case XoFieldKind::Int32:
                m.addInt(int(random() % 41) - 20);
                break;
            case XoFieldKind::UInt32:
                m.addUInt(random());
                break;
            case XoFieldKind::UInt64:
                m.addUInt64(random());
                break;
            case XoFieldKind::Float:
                m.addFloat(floats[random() % floats.size()]);
                break;
            case XoFieldKind::Bool:
                m.addBool(random() % 2);
                break;
            case XoFieldKind::FloatArray:
                m.addFloatArray(floats.data(), random() % 70);
                break;
            case XoFieldKind::Int32Array:
                m.addIntArray(ints.data(), random() % 30);
                break;
            case XoFieldKind::Bytes:
                m.addBytes("x", 1);
                break;
            }
        }
        apply(m);
    }
    const QJsonObject json = scene.toJson();
    EXPECT_TRUE(json.contains("meshes"));
    // Whatever was accepted can be walked for drawing.
    for (const auto& entry : scene.meshes()) {
        QVector3D low, high;
        entry.second.bounds(low, high);
        EXPECT_EQ(entry.second.positions.count, std::size_t(3 * entry.second.vertexCount));
    }
}

// A message of `type` whose "name" and "parent" are given, whose transforms hold a NaN, whose position
// array has one vertex and whose counts say 3: each content type that checks what it carries refuses it.
XoRemoteRenderMessage badContent(XoMessageType type, const std::string& name, const std::string& parent)
{
    static const std::vector<float> transform = [] {
        std::vector<float> t(kIdentity, kIdentity + 16);
        t[5] = std::numeric_limits<float>::quiet_NaN();
        return t;
    }();
    static const std::vector<float> vertex = {1, 2, 3};
    XoRemoteRenderMessage m(type);
    for (const auto& field : XoRemoteRenderMessage::schema(type)) {
        const std::string& f = field.first;
        switch (field.second) {
        case XoFieldKind::String:
            m.addString(f == "name" ? name : f == "parent" ? parent : std::string());
            break;
        case XoFieldKind::Int32:
            m.addInt(f == "count" || f == "faceSizeCount" ? 3 : 0);
            break;
        case XoFieldKind::UInt32:
            m.addUInt(0);
            break;
        case XoFieldKind::UInt64:
            m.addUInt64(0);
            break;
        case XoFieldKind::Float:
            m.addFloat(1.0f);
            break;
        case XoFieldKind::Bool:
            m.addBool(false);
            break;
        case XoFieldKind::FloatArray:
            if (f == "transform" || f == "transforms")
                m.addFloatArray(transform.data(), transform.size());
            else if (f == "positions")
                m.addFloatArray(vertex.data(), vertex.size());
            else
                m.addFloatArray(nullptr, 0);
            break;
        case XoFieldKind::Int32Array:
            m.addIntArray(nullptr, 0);
            break;
        case XoFieldKind::Bytes:
            m.addBytes("", 0);
            break;
        }
    }
    return m;
}

TEST_F(Scene, EachRefusedMessageNamesItsEntityAndLeavesTheSceneAsItWas)
{
    instance("Keep", "Model", "Block");
    mesh("KeepMesh", "Keep", {0, 0, 0, 1, 0, 0, 0, 1, 0}, {3}, 3, 1);
    ASSERT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    const QJsonObject before = scene.toJson();
    const std::vector<XoMessageType> refused = {
        XoMessageType::AddInstance, XoMessageType::AddGroup,          XoMessageType::AddMesh,
        XoMessageType::AddLight,    XoMessageType::SpawnInstances,    XoMessageType::PlaceAsset,
        XoMessageType::AddFile,     XoMessageType::SetAssetTransform, XoMessageType::AssureEntityConnected};
    for (std::size_t k = 0; k < refused.size(); ++k) {
        const XoRemoteRenderMessage m =
            badContent(refused[k], "Bad" + std::to_string(k), "P" + std::to_string(k));
        const auto schema = XoRemoteRenderMessage::schema(refused[k]);
        const bool hasParent = schema.size() > 1 && schema[1].first == "parent";
        lost.clear();
        errors.clear();
        apply(m);
        SCOPED_TRACE(m.name());
        ASSERT_EQ(lost.size(), 1u);
        EXPECT_EQ(lost[0].name, QStringLiteral("Bad%1").arg(k));
        EXPECT_EQ(lost[0].parent, hasParent ? QStringLiteral("P%1").arg(k) : QString());
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors[0].startsWith(QString::fromLatin1(m.name()) + " Bad")) << errors[0].toStdString();
        EXPECT_EQ(scene.toJson(), before) << "a refused " << m.name() << " changed the scene";
    }
    // What came before is still whole, and the scene takes the next good message.
    instance("After", "Model");
    EXPECT_EQ(scene.instances().size(), 2u);
    ASSERT_EQ(scene.meshesOf("Keep").size(), 1u);
    EXPECT_EQ(scene.meshesOf("Keep")[0]->positions.floatAt(3), 1.0f);
}

TEST_F(Scene, AMeshKeepsItsReceivedFrameButNotTheDecodedMessage)
{
    XoRemoteRenderMessage sent(XoMessageType::AddMesh);
    const std::vector<float> positions = {0, 0, 0, 4, 0, 0, 0, 5, 0};
    const std::vector<std::int32_t> faces = {3};
    sent.addString("M").addString("Owner").addString("");
    sent.addFloatArray(positions.data(), positions.size()).addFloatArray(nullptr, 0);
    sent.addFloatArray(nullptr, 0).addFloatArray(nullptr, 0).addIntArray(nullptr, 0);
    sent.addIntArray(faces.data(), faces.size()).addInt(1).addInt(3).addString("M").addString("M");
    std::shared_ptr<const XoRemoteRenderMessage> message = received(sent);
    const std::weak_ptr<const XoRemoteRenderMessage> decoded = message;
    scene.apply(message, lost, errors);
    message.reset();
    // The decoded fields and strings of every mesh of a large scene would cost more than its vertices.
    EXPECT_TRUE(decoded.expired());
    ASSERT_EQ(scene.meshesOf("Owner").size(), 1u);
    const zalViewerScene::Mesh& m = *scene.meshesOf("Owner")[0];
    EXPECT_EQ(m.positions.floatAt(3), 4.0f);
    EXPECT_EQ(m.positions.floatAt(7), 5.0f);
}

} // namespace
