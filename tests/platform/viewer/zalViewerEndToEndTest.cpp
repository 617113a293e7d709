// The real viewer process, started through the sender over the real channel.
#include "XoLocalSocketMessagesManager.h"
#include "XoRemoteRenderMessage.h"
#include "XoRemoteRenderSenderFlattener.h"
#include "XoSocketFrameIO.h"
#include "tests/platform/remoterender/XoTestSupport.h"
#include "zalX11.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::atomic<std::uint64_t> receivedHandle{0};
std::atomic<bool> handleOnOwnThread{false};
std::thread::id mainThread;

void windowHandleArrived(const void* handle)
{
    handleOnOwnThread = std::this_thread::get_id() != mainThread;
    receivedHandle = reinterpret_cast<std::uintptr_t>(handle);
}

struct PakCalls
{
    std::mutex mutex;
    std::vector<std::pair<std::wstring, bool>> calls;
    bool onOwnThread = false;
} pakCalls;

void pakMounted(const wchar_t* path, bool mounted)
{
    std::lock_guard<std::mutex> lock(pakCalls.mutex);
    pakCalls.calls.emplace_back(path, mounted);
    pakCalls.onOwnThread = std::this_thread::get_id() != mainThread;
}

class ObservedSender : public XoRemoteRenderSenderFlattener
{
public:
    ObservedSender(const QString& folder, std::vector<std::string>* refreshed)
        : XoRemoteRenderSenderFlattener(folder.toStdWString(), nullptr, 7,
                                        [refreshed](const std::string& name) { refreshed->push_back(name); })
    {
    }
    void onRenderInit() override
    {
        XoRemoteRenderSenderFlattener::onRenderInit();
        ++inits;
    }
    void onRenderExit() override
    {
        XoRemoteRenderSenderFlattener::onRenderExit();
        ++exits;
        startedAtExit = isViewerStarted();
    }
    void onRenderProcessExit(int code) override
    {
        XoRemoteRenderSenderFlattener::onRenderProcessExit(code);
        processExitCode = code;
    }
    void onTransactionApplied(const char* name) override { applied.push_back(name); }
    void onRenderDataSaved() override { ++saved; }
    void viewerReportedEntityLost(const std::string& name, const std::string& parent) override
    {
        lostReports.emplace_back(name, parent);
        XoRemoteRenderSenderFlattener::viewerReportedEntityLost(name, parent);
    }
    void onMessage(const char* name, const void*, long) override { messages.push_back(name); }
    void onError(int code, const char* message) override
    {
        XoRemoteRenderSenderFlattener::onError(code, message);
        errors.push_back(message);
    }

    int inits = 0;
    int exits = 0;
    int saved = 0;
    bool startedAtExit = true;
    int processExitCode = -1;
    std::vector<std::string> applied;
    std::vector<std::string> messages;
    std::vector<std::string> errors;
    std::vector<std::pair<std::string, std::string>> lostReports; // every loss the viewer reported
};

// A lit, coloured cube of 12 triangles without shared vertices, as the host sends geometry.
struct Cube
{
    std::vector<float> positions, normals, uv;
    std::vector<std::int32_t> flags, faceSizes;
    explicit Cube(float half)
    {
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        const int order[6] = {0, 1, 2, 0, 2, 3};
        for (int a = 0; a < 3; ++a) {
            for (float sign : {1.0f, -1.0f}) {
                const int u = (a + 1) % 3, v = (a + 2) % 3;
                for (int k : order) {
                    float p[3] = {0, 0, 0}, n[3] = {0, 0, 0};
                    p[a] = sign * half;
                    p[u] = corners[k][0] * half;
                    p[v] = corners[k][1] * half;
                    n[a] = sign;
                    positions.insert(positions.end(), p, p + 3);
                    normals.insert(normals.end(), n, n + 3);
                    uv.push_back(corners[k][0]);
                    uv.push_back(corners[k][1]);
                    flags.push_back(1);
                }
                faceSizes.push_back(3);
                faceSizes.push_back(3);
            }
        }
    }
    int vertexCount() const { return int(positions.size() / 3); }
};

QJsonObject readJson(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

QJsonObject findByName(const QJsonArray& array, const QString& name)
{
    for (const QJsonValue& v : array) {
        if (v.toObject().value("name").toString() == name) return v.toObject();
    }
    return QJsonObject();
}

std::vector<float> floats(const QJsonValue& value)
{
    std::vector<float> out;
    for (const QJsonValue& v : value.toArray())
        out.push_back(float(v.toDouble()));
    return out;
}

// Asks the viewer for a dump and waits for it; console lines run in order, so it holds
// everything sent before.
QJsonObject dumpOf(XoRemoteRenderSender& sender, const QString& folder, int serial)
{
    const QString path = folder + QStringLiteral("/dump%1.json").arg(serial);
    sender.sendConsoleCommand(QStringLiteral("zal.DumpScene %1").arg(path));
    EXPECT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(path); }))
        << "no dump at " << path.toStdString();
    return readJson(path);
}

// Meshes that cross the shared ring's end and fill several slabs of receive memory, and two larger ones.
void sendMeshesAcrossTheRing(ObservedSender& sender, const QString& folder, int& dumps,
                             const char* transaction, float shift = 0)
{
    // Mesh k holds coordinates between 1000 k and 1000 k + 1 only, its first vertex at the low corner and
    // its last at the high one: bytes lost, shifted or taken from another mesh move its bounds. 40 meshes
    // of 0.66 MB go round the 8 MiB shared ring about three times, frames crossing its end; one of 1.3 MB
    // and one of 13 MB (more than the ring) take the path of large frames.
    std::vector<int> vertexCounts(40, 15000);
    vertexCounts.push_back(30000);
    vertexCounts.push_back(300000);
    std::vector<std::vector<float>> positions;
    std::vector<std::vector<std::int32_t>> faces;
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_TRUE(sender.beginTransaction(transaction));
    for (std::size_t k = 0; k < vertexCounts.size(); ++k) {
        const int n = vertexCounts[k];
        const float base = 1000.0f * float(k + 1) + shift;
        std::vector<float> p(3 * std::size_t(n));
        for (int v = 0; v < n; ++v)
            for (int c = 0; c < 3; ++c)
                p[3 * std::size_t(v) + std::size_t(c)] =
                    v == 0       ? base
                    : v == n - 1 ? base + 1
                                 : base + 0.25f + 0.5f * float((v * 7 + c) % 997) / 997;
        positions.push_back(std::move(p));
        faces.emplace_back(std::size_t(n / 3), 3);
        const std::string entity = "D_AcDbShell_S" + std::to_string(k);
        sender.addInstance(entity.c_str(), "D_AcDbBlockTableRecord_1F", "", entity.c_str(), identity, "");
        sender.addMesh((entity + "_mesh").c_str(), entity.c_str(), "", positions.back().data(), nullptr,
                       nullptr, nullptr, nullptr, faces.back().data(), int(faces.back().size()), n, "M", "M");
    }
    ASSERT_TRUE(sender.endTransaction(false));
    ASSERT_TRUE(xotest::waitUntil(
        [&] { return !sender.applied.empty() && sender.applied.back() == transaction; }, 120000));

    const QJsonArray meshes = dumpOf(sender, folder, ++dumps).value("meshes").toArray();
    for (std::size_t k = 0; k < vertexCounts.size(); ++k) {
        const QJsonObject mesh = findByName(meshes, QStringLiteral("D_AcDbShell_S%1_mesh").arg(k));
        ASSERT_FALSE(mesh.isEmpty()) << "mesh " << k << " is missing";
        const float base = 1000.0f * float(k + 1) + shift;
        EXPECT_EQ(mesh.value("vertexCount").toInt(), vertexCounts[k]);
        EXPECT_EQ(floats(mesh.value("boundsMin")), std::vector<float>(3, base)) << "mesh " << k;
        EXPECT_EQ(floats(mesh.value("boundsMax")), std::vector<float>(3, base + 1)) << "mesh " << k;
    }
}

class ViewerSession : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        xotest::ensureApplication();
        mainThread = std::this_thread::get_id();
        folder = new QTemporaryDir();
        refreshed = new std::vector<std::string>();
        sender = new ObservedSender(folder->path(), refreshed);
        ASSERT_TRUE(QFileInfo::exists(xotest::viewerExecutable()))
            << xotest::viewerExecutable().toStdString();
        ASSERT_TRUE(sender->isServerRunning());
        ASSERT_TRUE(
            sender->startRender(xotest::viewerExecutable().toStdWString().c_str(), 40, 30, 480, 320, false));
        ASSERT_TRUE(xotest::waitUntil([] { return sender->inits == 1; }));
        ASSERT_TRUE(sender->isViewerStarted());
    }
    static void TearDownTestSuite()
    {
        xotest::stopViewer(sender);
        delete sender;
        sender = nullptr;
        delete refreshed;
        delete folder;
    }

    static QTemporaryDir* folder;
    static ObservedSender* sender;
    static std::vector<std::string>* refreshed;
    static int dumps;
};

QTemporaryDir* ViewerSession::folder = nullptr;
ObservedSender* ViewerSession::sender = nullptr;
std::vector<std::string>* ViewerSession::refreshed = nullptr;
int ViewerSession::dumps = 0;

TEST_F(ViewerSession, ReportsItsWindowHandleOnTheChannelThread)
{
    sender->getWindowHandle(&windowHandleArrived);
    ASSERT_TRUE(xotest::waitUntil([] { return receivedHandle != 0; }));
    EXPECT_TRUE(handleOnOwnThread);
    const QJsonObject viewer = dumpOf(*sender, folder->path(), ++dumps).value("viewer").toObject();
    EXPECT_EQ(viewer.value("windowId").toDouble(), double(receivedHandle));
    EXPECT_EQ(viewer.value("session").toInt(), 7);
    // Its own frameless top-level window, where the host asked for it.
    EXPECT_EQ(viewer.value("window").toArray(), (QJsonArray{40, 30, 480, 320}));
    EXPECT_TRUE(viewer.value("frameless").toBool());
    EXPECT_TRUE(viewer.value("windowVisible").toBool());
    EXPECT_FALSE(viewer.value("headless").toBool());
}

TEST_F(ViewerSession, HoldsWhatOneTransactionSent)
{
    const Cube cube(50);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float root[16] = {100, 0, 0, 0, 0, 100, 0, 0, 0, 0, 100, 0, 0, 0, 0, 1};
    const float placed[16] = {1, 0, 0, -250, 0, 1, 0, 120, 0, 0, 1, 5.5f, 0, 0, 0, 1};
    const float lightAt[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 300, 0, 0, 0, 1};
    std::vector<float> spawned;
    for (int i = 0; i < 3; ++i) {
        const float t[16] = {1, 0, 0, float(200 * i), 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        spawned.insert(spawned.end(), t, t + 16);
    }

    ASSERT_TRUE(sender->beginTransaction("startDrawing"));
    sender->addMaterial("D_AcDbMaterial_1F", "M_Configurable", "", 0x0000C0u, 1.0f, "", "ShaderType:0");
    sender->addComponentDef("D_AcDbBlockTableRecord_1F", "*Model_Space", false, "");
    sender->addInstance("D_AcDbBlockTableRecord_1F_Root", "Model", "D_AcDbBlockTableRecord_1F", "Modelspace",
                        root, "D_AcDbMaterial_1F");
    sender->addInstance("D_AcDbPolyFaceMesh_2A", "D_AcDbBlockTableRecord_1F", "", "D_AcDbPolyFaceMesh_2A",
                        placed, "");
    sender->addMesh("D_AcDbPolyFaceMesh_2A_D_AcDbMaterial_1F", "D_AcDbPolyFaceMesh_2A", "",
                    cube.positions.data(), cube.normals.data(), cube.uv.data(), cube.uv.data(),
                    cube.flags.data(), cube.faceSizes.data(), int(cube.faceSizes.size()), cube.vertexCount(),
                    "D_AcDbMaterial_1F", "D_AcDbMaterial_1F");
    sender->addLight("D_AcDbLight_3C", "D_AcDbBlockTableRecord_1F", 5000.0f, 0x00FFEEDDu, 0, 45, 50, 10, 10,
                     true, 2.5f, "", lightAt, true);
    sender->addComponentDef("D_AcDbBlockTableRecord_44", "Tree", false, "");
    sender->addInstance("D_AcDbShell_45", "D_AcDbBlockTableRecord_44", "", "D_AcDbShell_45", identity, "");
    sender->addMesh("D_AcDbShell_45_D_AcDbMaterial_1F", "D_AcDbShell_45", "", cube.positions.data(),
                    cube.normals.data(), cube.uv.data(), cube.uv.data(), cube.flags.data(),
                    cube.faceSizes.data(), int(cube.faceSizes.size()), cube.vertexCount(),
                    "D_AcDbMaterial_1F", "D_AcDbMaterial_1F");
    sender->addInstance("D_zalDbAssetsSpawner_50", "D_AcDbBlockTableRecord_1F", "", "D_zalDbAssetsSpawner_50",
                        identity, "");
    sender->spawnInstances("D_zalDbAssetsSpawner_50[SE:D_AcDbBlockTableRecord_44]", "D_zalDbAssetsSpawner_50",
                           "D_AcDbBlockTableRecord_44", "", 3, spawned.data(), "");
    // Nothing is applied before the transaction ends.
    const QJsonObject before = dumpOf(*sender, folder->path(), ++dumps);
    EXPECT_TRUE(before.value("meshes").toArray().isEmpty());
    EXPECT_EQ(before.value("transactions").toObject().value("pending").toInt(), 11);
    ASSERT_TRUE(sender->endTransaction(false));
    ASSERT_TRUE(xotest::waitUntil([] { return !sender->applied.empty(); }));
    EXPECT_EQ(sender->applied.back(), "startDrawing");

    const QJsonObject dump = dumpOf(*sender, folder->path(), ++dumps);
    const QJsonObject component = findByName(dump.value("components").toArray(), "D_AcDbBlockTableRecord_1F");
    EXPECT_EQ(component.value("label").toString(), "*Model_Space");
    const QJsonObject rootInstance =
        findByName(dump.value("instances").toArray(), "D_AcDbBlockTableRecord_1F_Root");
    EXPECT_EQ(rootInstance.value("parent").toString(), "Model");
    EXPECT_EQ(rootInstance.value("component").toString(), "D_AcDbBlockTableRecord_1F");
    EXPECT_EQ(rootInstance.value("asset").toString(), "Modelspace");
    EXPECT_EQ(floats(rootInstance.value("transform")), std::vector<float>(root, root + 16));
    const QJsonObject entity = findByName(dump.value("instances").toArray(), "D_AcDbPolyFaceMesh_2A");
    EXPECT_EQ(entity.value("parent").toString(), "D_AcDbBlockTableRecord_1F");
    EXPECT_EQ(floats(entity.value("transform")), std::vector<float>(placed, placed + 16));

    const QJsonObject mesh =
        findByName(dump.value("meshes").toArray(), "D_AcDbPolyFaceMesh_2A_D_AcDbMaterial_1F");
    EXPECT_EQ(mesh.value("parent").toString(), "D_AcDbPolyFaceMesh_2A");
    EXPECT_EQ(mesh.value("vertexCount").toInt(), 36);
    EXPECT_EQ(mesh.value("positions").toInt(), 108);
    EXPECT_EQ(mesh.value("normals").toInt(), 108);
    EXPECT_EQ(mesh.value("uv0").toInt(), 72);
    EXPECT_EQ(mesh.value("uv1").toInt(), 72);
    EXPECT_EQ(mesh.value("flags").toInt(), 36);
    EXPECT_EQ(mesh.value("faceSizes").toInt(), 12);
    EXPECT_EQ(mesh.value("material").toString(), "D_AcDbMaterial_1F");
    EXPECT_EQ(floats(mesh.value("boundsMax")), std::vector<float>({50, 50, 50}));

    const QJsonObject material = findByName(dump.value("materials").toArray(), "D_AcDbMaterial_1F");
    EXPECT_EQ(material.value("colour").toInt(), 0xC0);
    EXPECT_EQ(material.value("parameters").toString(), "ShaderType:0");
    const QJsonObject light = findByName(dump.value("lights").toArray(), "D_AcDbLight_3C");
    EXPECT_EQ(light.value("parent").toString(), "D_AcDbBlockTableRecord_1F");
    EXPECT_FLOAT_EQ(float(light.value("intensity").toDouble()), 5000.0f);
    EXPECT_EQ(floats(light.value("transform")), std::vector<float>(lightAt, lightAt + 16));
    const QJsonObject spawn =
        findByName(dump.value("spawns").toArray(), "D_zalDbAssetsSpawner_50[SE:D_AcDbBlockTableRecord_44]");
    EXPECT_EQ(spawn.value("parent").toString(), "D_zalDbAssetsSpawner_50");
    EXPECT_EQ(spawn.value("component").toString(), "D_AcDbBlockTableRecord_44");
    EXPECT_EQ(spawn.value("count").toInt(), 3);
    EXPECT_EQ(floats(spawn.value("transforms").toArray().at(2)),
              std::vector<float>(spawned.begin() + 32, spawned.begin() + 48));

    // The sender's own record of what the viewer holds agrees.
    EXPECT_TRUE(sender->isEntityValid("D_AcDbPolyFaceMesh_2A", "D_AcDbBlockTableRecord_1F"));
    EXPECT_TRUE(sender->isEntityValid("D_AcDbMaterial_1F", ""));
    EXPECT_FALSE(sender->isEntityValid("D_AcDbPolyFaceMesh_2A", "Model"));
}

TEST_F(ViewerSession, HighResShotWritesAPictureOfTheLitMesh)
{
    ASSERT_FALSE(sender->applied.empty()) << "needs the scene of the transaction test";
    const QString path = folder->path() + "/a b/shot.png";
    sender->sendConsoleCommand(QStringLiteral("HighResShot 640x360 filename=\"%1\"").arg(path));
    ASSERT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(path); }));
    QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(640, 360));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 3) << "a lit mesh over the background gives several colours";
    // The material is red: some pixels are clearly red.
    bool red = false;
    for (int y = 0; y < image.height() && !red; ++y)
        for (int x = 0; x < image.width() && !red; ++x) {
            const QColor c = image.pixelColor(x, y);
            red = c.red() > 60 && c.red() > 3 * c.green() && c.red() > 3 * c.blue();
        }
    EXPECT_TRUE(red);
}

TEST_F(ViewerSession, KeepsWhatConsoleCommandsAndViewCallsSet)
{
    sender->sendConsoleCommand("Set PostProcessVolume Settings (bOverride_WhiteTemp=1,WhiteTemp=6500,"
                               "ColorGain=(X=1,Y=1,Z=1,W=1.000000),BloomMethod = BM_SOG)");
    sender->sendConsoleCommand("setao 0.501961;0.501961;0.501961");
    sender->sendConsoleCommand("Set zalSunSky_C SunLatitude 41.9028");
    sender->sendConsoleCommand("setgametime 12.5");
    sender->sendConsoleCommand("pause");
    sender->sendConsoleCommand("showflag.pathtracing 1");
    sender->sendConsoleCommand("r.HighresScreenshotDelay 50");
    sender->sendConsoleCommand(
        "CallOnActor D_zalDbWaterFountain_9 SetFountainParams True (R=0,G=0.5,B=1,A=5.0) "
        "2 100 30 10 500");
    sender->sendConsoleCommand("NoSuchCommand at all");
    sender->setToneMapper(1.0f, 1.0f, 1.0f, true, 1.0f);
    sender->setSunByPos(100, 30.0f, 40.0f);
    sender->setNavigationType(UnrealNavigationOrbit);
    sender->sendInputEvent(XoInputEvent{3, 0, 10, 20});
    sender->sendInputEvent(XoInputEvent{4, 0, 10, 20});
    sender->setCamera(0, 0, 0, 1000, -1000, 800, 0, 0, 1, false, false, 45, 1.0f, 0, 0, "");

    const QJsonObject settings = dumpOf(*sender, folder->path(), ++dumps).value("settings").toObject();
    const QJsonObject post = settings.value("postProcess").toObject();
    EXPECT_EQ(post.value("WhiteTemp").toString(), "6500");
    EXPECT_EQ(post.value("ColorGain").toString(), "(X=1,Y=1,Z=1,W=1.000000)");
    EXPECT_EQ(post.value("BloomMethod").toString(), "BM_SOG");
    EXPECT_NEAR(settings.value("aoColour").toArray().at(1).toDouble(), 0.501961, 1e-6);
    EXPECT_EQ(
        settings.value("actors").toObject().value("zalSunSky_C").toObject().value("SunLatitude").toString(),
        "41.9028");
    EXPECT_DOUBLE_EQ(settings.value("gameTime").toDouble(), 12.5);
    EXPECT_TRUE(settings.value("gamePaused").toBool());
    EXPECT_EQ(settings.value("pathTracing").toInt(), 1);
    EXPECT_EQ(settings.value("consoleVariables").toObject().value("r.HighresScreenshotDelay").toString(),
              "50");
    const QJsonObject fountain =
        settings.value("fountains").toObject().value("D_zalDbWaterFountain_9").toObject();
    EXPECT_TRUE(fountain.value("active").toBool());
    EXPECT_DOUBLE_EQ(fountain.value("jetPower").toDouble(), 500);
    EXPECT_EQ(settings.value("unknownCommands").toArray().at(0).toString(), "NoSuchCommand at all");
    EXPECT_TRUE(settings.value("toneMapper").toObject().value("set").toBool());
    const QJsonObject sun = settings.value("sun").toObject();
    EXPECT_EQ(sun.value("northOffset").toInt(), 100);
    EXPECT_DOUBLE_EQ(sun.value("elevation").toDouble(), 40);
    EXPECT_EQ(settings.value("navigationType").toInt(), 0);
    EXPECT_EQ(settings.value("input").toObject().value("count").toInt(), 2);
    EXPECT_EQ(settings.value("camera").toObject().value("position").toArray().at(0).toDouble(), 1000);
}

TEST_F(ViewerSession, AnEntityTheViewerLosesIsAskedForAgain)
{
    ASSERT_TRUE(sender->isEntityValid("D_AcDbPolyFaceMesh_2A_D_AcDbMaterial_1F", "D_AcDbPolyFaceMesh_2A"));
    refreshed->clear();
    sender->sendConsoleCommand("zal.DropEntity D_AcDbPolyFaceMesh_2A_D_AcDbMaterial_1F");
    ASSERT_TRUE(xotest::waitUntil([] { return !refreshed->empty(); }));
    // A lost mesh brings back the entity that owns it.
    EXPECT_EQ(refreshed->front(), "D_AcDbPolyFaceMesh_2A");
    EXPECT_FALSE(sender->isEntityValid("D_AcDbPolyFaceMesh_2A_D_AcDbMaterial_1F", "D_AcDbPolyFaceMesh_2A"));
    EXPECT_TRUE(sender->isEntityValid("D_AcDbPolyFaceMesh_2A", "D_AcDbBlockTableRecord_1F"));
}

TEST_F(ViewerSession, ConfirmationsInATransactionAreAnsweredAsTheSceneIsWhenTheyAreApplied)
{
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const std::string block = "D_AcDbBlockTableRecord_1F";
    for (const char* e : {"D_Confirm_Kept", "D_Confirm_Removed", "D_Confirm_Dropped"})
        sender->addInstance(e, block.c_str(), "", e, identity, "");
    dumpOf(*sender, folder->path(), ++dumps); // all three are held before the transaction begins
    sender->lostReports.clear();

    ASSERT_TRUE(sender->beginTransaction("confirmations"));
    // Held only once the transaction's own add is applied.
    sender->addInstance("D_Confirm_New", block.c_str(), "", "D_Confirm_New", identity, "");
    sender->assureEntityConnected("D_Confirm_New", "D_Confirm_Owner");
    sender->assureEntityConnected("D_Confirm_Kept", "D_Confirm_Owner");
    // Held when their confirmations arrive, gone by the time those are applied: one removed earlier in
    // the transaction, one dropped by a command, which runs at once while the transaction is open.
    sender->removeEntity("D_Confirm_Removed", block.c_str(), true, true);
    sender->assureEntityConnected("D_Confirm_Removed", QString::fromStdString(block));
    sender->assureEntityConnected("D_Confirm_Dropped", QString::fromStdString(block));
    sender->sendConsoleCommand("zal.DropEntity D_Confirm_Dropped");
    ASSERT_TRUE(sender->endTransaction(false));
    ASSERT_TRUE(xotest::waitUntil(
        [] { return !sender->applied.empty() && sender->applied.back() == "confirmations"; }));

    const QJsonObject dump = dumpOf(*sender, folder->path(), ++dumps);
    // The drop reports its entity at once; the transaction then refuses both confirmations, in order.
    using Loss = std::pair<std::string, std::string>;
    EXPECT_EQ(sender->lostReports,
              (std::vector<Loss>{
                  {"D_Confirm_Dropped", block}, {"D_Confirm_Removed", block}, {"D_Confirm_Dropped", block}}));
    const QJsonArray instances = dump.value("instances").toArray();
    for (const char* connected : {"D_Confirm_New", "D_Confirm_Kept"})
        EXPECT_EQ(findByName(instances, connected).value("connections").toArray(),
                  QJsonArray{"D_Confirm_Owner"})
            << connected;
    EXPECT_TRUE(findByName(instances, "D_Confirm_Removed").isEmpty());
    EXPECT_TRUE(findByName(instances, "D_Confirm_Dropped").isEmpty());
}

TEST_F(ViewerSession, ALongTransactionOfSmallMeshesArrivesWholeAndABadMeshIsAskedForAgain)
{
    // About 2.5 MB of small meshes: several batched writes and more than one receive arena.
    const Cube cube(1);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const int count = 1500;
    refreshed->clear();
    ASSERT_TRUE(sender->beginTransaction("many"));
    for (int i = 0; i < count; ++i) {
        const std::string entity = "D_AcDbShell_M" + std::to_string(i);
        std::vector<float> positions = cube.positions;
        for (std::size_t k = 0; k < positions.size(); k += 3)
            positions[k] += float(10 * i);
        sender->addInstance(entity.c_str(), "D_AcDbBlockTableRecord_1F", "", entity.c_str(), identity, "");
        // One mesh claims a vertex fewer than its faces use.
        const int vertices = i == 700 ? cube.vertexCount() - 1 : cube.vertexCount();
        sender->addMesh((entity + "_D_AcDbMaterial_1F").c_str(), entity.c_str(), "", positions.data(),
                        cube.normals.data(), cube.uv.data(), cube.uv.data(), cube.flags.data(),
                        cube.faceSizes.data(), int(cube.faceSizes.size()), vertices, "D_AcDbMaterial_1F",
                        "D_AcDbMaterial_1F");
        if (i == count / 2) {
            // A command in the middle goes out at once, behind everything sent before it.
            const QJsonObject middle = dumpOf(*sender, folder->path(), ++dumps);
            EXPECT_EQ(middle.value("transactions").toObject().value("pending").toInt(), 2 * (count / 2 + 1));
        }
    }
    ASSERT_TRUE(sender->endTransaction(false));
    ASSERT_TRUE(
        xotest::waitUntil([] { return !sender->applied.empty() && sender->applied.back() == "many"; }));

    const QJsonObject dump = dumpOf(*sender, folder->path(), ++dumps);
    const QJsonArray meshes = dump.value("meshes").toArray();
    int held = 0;
    for (const QJsonValue& m : meshes)
        held += m.toObject().value("name").toString().startsWith("D_AcDbShell_M") ? 1 : 0;
    EXPECT_EQ(held, count - 1);
    const QJsonObject last =
        findByName(meshes, QStringLiteral("D_AcDbShell_M%1_D_AcDbMaterial_1F").arg(count - 1));
    EXPECT_EQ(floats(last.value("boundsMax")), std::vector<float>({float(10 * (count - 1) + 1), 1, 1}));
    EXPECT_TRUE(findByName(meshes, "D_AcDbShell_M700_D_AcDbMaterial_1F").isEmpty());
    // The refused mesh brings its entity back to the host.
    ASSERT_TRUE(xotest::waitUntil([] { return !refreshed->empty(); }));
    EXPECT_EQ(*refreshed, std::vector<std::string>{"D_AcDbShell_M700"});
    EXPECT_FALSE(sender->isEntityValid("D_AcDbShell_M700_D_AcDbMaterial_1F", "D_AcDbShell_M700"));
    EXPECT_TRUE(sender->isEntityValid("D_AcDbShell_M701_D_AcDbMaterial_1F", "D_AcDbShell_M701"));
}

TEST_F(ViewerSession, MeshesAcrossTheRingsEndAndLargerThanTheRingArriveWhole)
{
    sendMeshesAcrossTheRing(*sender, folder->path(), dumps, "sizes");
}

TEST_F(ViewerSession, AnswersPingAfterEverythingBeforeIt)
{
    const char payload[] = "abc";
    sender->sendMessage("zal.Ping", payload, 3);
    ASSERT_TRUE(xotest::waitUntil([] { return !sender->messages.empty(); }));
    EXPECT_EQ(sender->messages.back(), "zal.Pong");
}

TEST_F(ViewerSession, MountsPaksThatExistAndSavesItsData)
{
    const QString pak = folder->path() + "/Nature Pack.pak";
    QFile file(pak);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("pak");
    file.close();
    sender->mountExternalPak(pak.toStdWString().c_str(), &pakMounted);
    sender->mountExternalPak(L"/nowhere/Missing.pak", &pakMounted);
    ASSERT_TRUE(xotest::waitUntil([] {
        std::lock_guard<std::mutex> lock(pakCalls.mutex);
        return pakCalls.calls.size() == 2;
    }));
    {
        std::lock_guard<std::mutex> lock(pakCalls.mutex);
        // Each mount answers its own callback; which answer comes first is the viewer's business.
        const auto answered = [](const std::wstring& path, bool mounted) {
            return std::count(pakCalls.calls.begin(), pakCalls.calls.end(), std::make_pair(path, mounted));
        };
        EXPECT_EQ(answered(pak.toStdWString(), true), 1);
        EXPECT_EQ(answered(L"/nowhere/Missing.pak", false), 1);
        EXPECT_TRUE(pakCalls.onOwnThread);
    }
    sender->requestSaveData();
    ASSERT_TRUE(xotest::waitUntil([] { return sender->saved == 1; }));
    const QJsonObject saved = readJson(folder->path() + "/zalViewerSavedScene.json");
    const QJsonArray paks = saved.value("paks").toArray();
    ASSERT_EQ(paks.size(), 2);
    for (const QJsonValue& entry : paks) {
        const QJsonObject o = entry.toObject();
        EXPECT_EQ(o.value("mounted").toBool(), o.value("path").toString() == pak)
            << o.value("path").toString().toStdString();
    }
}

// Mappings of the host's lent receive memory in a process.
int lentMappings(long pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly)) return -1;
    return int(maps.readAll().count("XoRemoteRender-receive"));
}

// The same meshes through viewers whose receive memory is forced onto huge pages and onto small ones (of
// their own: no memory lent by the host).
class ViewerSlabPages : public ::testing::TestWithParam<const char*>
{
};

TEST_P(ViewerSlabPages, MeshesArriveWholeInEitherKindOfPage)
{
    xotest::ensureApplication();
    QTemporaryDir folder;
    std::vector<std::string> refreshed;
    ObservedSender viewer(folder.path(), &refreshed);
    ASSERT_TRUE(viewer.isServerRunning());
    qputenv("ZAL_SLAB_PAGES", GetParam());
    qputenv("ZAL_LEND_RECEIVE_MEMORY", "0");
    const bool started =
        viewer.startRender(xotest::viewerExecutable().toStdWString().c_str(), 40, 30, 480, 320, false);
    qunsetenv("ZAL_SLAB_PAGES");
    qunsetenv("ZAL_LEND_RECEIVE_MEMORY");
    ASSERT_TRUE(started);
    ASSERT_TRUE(xotest::waitUntil([&] { return viewer.inits == 1; }));
    int dumps = 0;
    sendMeshesAcrossTheRing(viewer, folder.path(), dumps, "pages");
    auto* transport = dynamic_cast<XoLocalSocketMessagesManager*>(viewer.transport());
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ(lentMappings(transport->processId()), 0);
    EXPECT_TRUE(viewer.errors.empty()) << viewer.errors.front();
    xotest::stopViewer(&viewer);
}

INSTANTIATE_TEST_SUITE_P(HugeOrSmall, ViewerSlabPages, ::testing::Values("huge", "small"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

// A viewer of the test's own (not the shared session's), for tests that set it up their own way.
struct OwnViewer
{
    QTemporaryDir folder;
    std::vector<std::string> refreshed;
    ObservedSender sender{folder.path(), &refreshed};
    // Starts the viewer; true once it has announced itself.
    bool start()
    {
        return sender.startRender(xotest::viewerExecutable().toStdWString().c_str(), 40, 30, 480, 320,
                                  false) &&
               xotest::waitUntil([&] { return sender.inits == 1; });
    }
};

TEST(ViewerProcess, WithoutAnXServerItSaysSoAndEnds)
{
    xotest::ensureApplication();
    for (const char* display : {"", ":987"}) {
        QProcess viewer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (*display)
            environment.insert("DISPLAY", display);
        else
            environment.remove("DISPLAY");
        viewer.setProcessEnvironment(environment);
        viewer.start(xotest::viewerExecutable(), {"--channel", "unused", "--headless"});
        ASSERT_TRUE(viewer.waitForFinished(60000)) << display;
        EXPECT_EQ(viewer.exitStatus(), QProcess::NormalExit) << display;
        EXPECT_EQ(viewer.exitCode(), 3) << display;
        EXPECT_TRUE(QString::fromLocal8Bit(viewer.readAllStandardError()).contains("X server")) << display;
    }
}

TEST(ViewerProcess, KillingTheViewerEndsItForTheSender)
{
    xotest::ensureApplication();
    QTemporaryDir folder;
    std::vector<std::string> refreshed;
    ObservedSender sender(folder.path(), &refreshed);
    ASSERT_TRUE(sender.startRender(xotest::viewerExecutable().toStdWString().c_str(), false));
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.inits == 1; }));
    sender.addMaterial("M", "Base", "", 0, 1, "", "");
    ASSERT_TRUE(sender.isEntityValid("M", ""));
    auto* transport = dynamic_cast<XoLocalSocketMessagesManager*>(sender.transport());
    ASSERT_NE(transport, nullptr);
    ASSERT_GT(transport->processId(), 0);
    ASSERT_EQ(::kill(pid_t(transport->processId()), SIGKILL), 0);
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.exits == 1 && sender.processExitCode >= 0; }));
    EXPECT_FALSE(sender.startedAtExit);
    EXPECT_FALSE(sender.isViewerStarted());
    EXPECT_FALSE(sender.isProcessRunning());
    EXPECT_EQ(sender.processExitCode, 128 + SIGKILL);
    // What the viewer held is forgotten with it.
    EXPECT_FALSE(sender.isEntityValid("M", ""));
    // Sending now goes nowhere and harms nothing.
    sender.sendConsoleCommand("pause");
    EXPECT_EQ(sender.exits, 1);
}

// The receive memory a viewer held goes back to the host however the viewer ends, killed while holding
// meshes or closed, and the next viewer takes meshes into it whole, over the bytes the previous one left.
// The viewers have huge pages off (as where backing them costs more), so that every slab is lent memory.
TEST(ViewerProcess, ReceiveMemoryOfAViewerGoesToTheNextOneEvenAfterACrash)
{
    xotest::ensureApplication();
    XoLocalSocketMessagesManager::dropIdleLentReceiveMemory();
    QTemporaryDir folder;
    std::vector<std::string> refreshed;
    ObservedSender sender(folder.path(), &refreshed);
    auto start = [&](int inits) {
        qputenv("ZAL_SLAB_PAGES", "small");
        const bool started =
            sender.startRender(xotest::viewerExecutable().toStdWString().c_str(), 40, 30, 480, 320, false);
        qunsetenv("ZAL_SLAB_PAGES");
        ASSERT_TRUE(started);
        ASSERT_TRUE(xotest::waitUntil([&] { return sender.inits == inits; }));
    };
    auto* transport = dynamic_cast<XoLocalSocketMessagesManager*>(sender.transport());
    ASSERT_NE(transport, nullptr);
    int dumps = 0;
    start(1);
    sendMeshesAcrossTheRing(sender, folder.path(), dumps, "first");
    // 40 meshes of 0.66 MB share slabs: at least three of 8 MiB hold them.
    EXPECT_GE(lentMappings(transport->processId()), 3) << "the meshes did not land in lent memory";
    EXPECT_EQ(XoLocalSocketMessagesManager::idleLentReceiveMemory(), 0u) << "memory lent kept idle as well";
    ASSERT_EQ(::kill(pid_t(transport->processId()), SIGKILL), 0);
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.exits == 1 && !sender.isProcessRunning(); }));
    const std::size_t leftByCrash = XoLocalSocketMessagesManager::idleLentReceiveMemory();
    EXPECT_GE(leftByCrash, std::size_t(24) << 20) << "what the killed viewer held did not come back";

    start(2);
    EXPECT_EQ(XoLocalSocketMessagesManager::idleLentReceiveMemory(), 0u) << "the memory was not lent again";
    // Other coordinates than the first viewer's: a mesh read from bytes left in the memory shows.
    sendMeshesAcrossTheRing(sender, folder.path(), dumps, "second", 500);
    EXPECT_GE(lentMappings(transport->processId()), 3);
    xotest::stopViewer(&sender);
    ASSERT_FALSE(sender.isProcessRunning());
    // A viewer that closes leaves what it held as well, and the host keeps no more than one viewer's.
    const std::size_t leftByClose = XoLocalSocketMessagesManager::idleLentReceiveMemory();
    EXPECT_GE(leftByClose, std::size_t(24) << 20) << "a closing viewer gave its memory back to the system";
    EXPECT_LE(leftByClose, leftByCrash + (std::size_t(40) << 20));
    EXPECT_TRUE(sender.errors.empty()) << sender.errors.front();
    // With no viewer to take it, the host gives the memory back to the system after a while.
    XoLocalSocketMessagesManager::setIdleLentReceiveMemoryLimit(200);
    EXPECT_TRUE(xotest::waitUntil([] { return XoLocalSocketMessagesManager::idleLentReceiveMemory() == 0; }))
        << "idle receive memory kept for good";
    XoLocalSocketMessagesManager::setIdleLentReceiveMemoryLimit(600000);
}

// Pixels clearly of the green material: lit or in shade, green well above red and blue.
int greenPixels(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.green() > 40 && c.green() > c.red() + 25 && c.green() > c.blue() + 25 ? 1 : 0;
        }
    return n;
}

// A grid of cubes under one block in model space: the scene of the tests of builds in steps.
class CubeGrid
{
public:
    CubeGrid(ObservedSender& sender, int perRow) : m_sender(sender), m_perRow(perRow) {}
    // The material, the block and its placement; sent inside a transaction.
    void begin()
    {
        m_sender.addMaterial("G", "M_Configurable", "", 0x00C000u, 1.0f, "", "");
        m_sender.addComponentDef("Block", "*Model_Space", false, "");
        place();
    }
    void place() { m_sender.addInstance("Root", "Model", "Block", "Modelspace", kIdentity, ""); }
    // Cube i, in cell `at` of the grid.
    void cube(int i, int at)
    {
        const std::string entity = "E" + std::to_string(i);
        const float placed[16] = {
            1, 0, 0, float(at % m_perRow) * 40, 0, 1, 0, float(at / m_perRow) * 40, 0, 0, 1, 0, 0, 0, 0, 1};
        m_sender.addInstance(entity.c_str(), "Block", "", entity.c_str(), placed, "");
        m_sender.addMesh((entity + "_G").c_str(), entity.c_str(), "", m_cube.positions.data(),
                         m_cube.normals.data(), nullptr, nullptr, nullptr, m_cube.faceSizes.data(),
                         int(m_cube.faceSizes.size()), m_cube.vertexCount(), "G", "G");
    }

private:
    static constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ObservedSender& m_sender;
    const int m_perRow;
    const Cube m_cube{10};
};

TEST(ViewerProcess, APictureAskedWhileTheFirstDrawingIsBuiltInStepsShowsTheWholeSceneWithItsLaterEdits)
{
    // The first drawing of thousands of entities is built in steps while messages are handled. Here the
    // window's drawing is held after its first step; a transaction and a picture come in the middle.
    xotest::ensureApplication();
    OwnViewer own;
    ASSERT_TRUE(own.start());
    ObservedSender& sender = own.sender;
    const QTemporaryDir& folder = own.folder;
    sender.sendConsoleCommand("zal.DrawingStepMs -1");
    const int count = 4000;
    CubeGrid grid(sender, 80);
    ASSERT_TRUE(sender.beginTransaction("grid"));
    grid.begin();
    for (int i = 0; i < count; ++i)
        grid.cube(i, i);
    ASSERT_TRUE(sender.endTransaction(false));
    int dumps = 0;
    auto render = [&] { return dumpOf(sender, folder.path(), ++dumps).value("render").toObject(); };
    QJsonObject held;
    ASSERT_TRUE(xotest::waitUntil([&] { return (held = render()).value("building").toBool(); }, 120000))
        << "the drawing was never seen being built in steps";
    // The changes the build has taken in (two per cube) are not kept until its first frame.
    EXPECT_EQ(held.value("changesKept").toDouble(), 0.0);

    // The last row of the grid goes, in a transaction of its own.
    ASSERT_TRUE(sender.beginTransaction("edit"));
    for (int i = count - 80; i < count; ++i)
        sender.removeEntity(("E" + std::to_string(i)).c_str(), "Block", true, true);
    ASSERT_TRUE(sender.endTransaction(false));
    const QString early = folder.path() + "/early.png";
    sender.sendConsoleCommand(QStringLiteral("HighResShot 320x240 filename=\"%1\"").arg(early));
    ASSERT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(early); }, 120000));
    QJsonObject stats = render();
    EXPECT_FALSE(stats.value("building").toBool());
    EXPECT_EQ(stats.value("buildsFinishedAtOnce").toInt(), 1) << "the picture did not finish the drawing";
    EXPECT_EQ(stats.value("triangles").toDouble(), double(count - 80) * 12);
    EXPECT_EQ(std::count(sender.applied.begin(), sender.applied.end(), "grid"), 1);
    EXPECT_EQ(std::count(sender.applied.begin(), sender.applied.end(), "edit"), 1);

    // The same scene drawn from scratch by a drawing that was never interrupted.
    sender.sendConsoleCommand("zal.DrawingStepMs 20");
    sender.removeEntity("Root", "Model", false, false);
    grid.place();
    const QString late = folder.path() + "/late.png";
    sender.sendConsoleCommand(QStringLiteral("HighResShot 320x240 filename=\"%1\"").arg(late));
    ASSERT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(late); }, 120000));
    const int partway = greenPixels(QImage(early)), whole = greenPixels(QImage(late));
    EXPECT_GT(whole, 320 * 240 / 20) << "the grid covers a good part of the picture";
    EXPECT_NEAR(partway, whole, whole / 50 + 10) << "the picture in the middle shows part of the grid";
    xotest::stopViewer(&sender);
}

TEST(ViewerProcess, MessagesThatArriveDuringABuildStepEndItAndTheBuiltDrawingIsKeptForTheFirstFrame)
{
    // Steps of a second each: a 20,000-cube grid builds within one or two of them, unless messages
    // arriving during a step end it (so that an edit waits for a small share of the build, not for the
    // step). Pings and edits come one after another while it builds, each sent once the one before is
    // answered.
    xotest::ensureApplication();
    OwnViewer own;
    ASSERT_TRUE(own.start());
    ObservedSender& sender = own.sender;
    const QTemporaryDir& folder = own.folder;
    sender.sendConsoleCommand("zal.DrawingStepMs -1");
    const int count = 20000;
    CubeGrid grid(sender, 200);
    ASSERT_TRUE(sender.beginTransaction("grid"));
    grid.begin();
    for (int i = 0; i < count; ++i)
        grid.cube(i, i);
    ASSERT_TRUE(sender.endTransaction(false));
    int dumps = 0;
    auto render = [&] { return dumpOf(sender, folder.path(), ++dumps).value("render").toObject(); };
    ASSERT_TRUE(xotest::waitUntil([&] { return render().value("building").toBool(); }, 120000))
        << "the drawing was never seen held part-built";

    // A cube moves to a row of its own in a transaction of its own.
    int edits = 0;
    auto move = [&] {
        const std::string name = "edit" + std::to_string(edits);
        EXPECT_TRUE(sender.beginTransaction(name.c_str()));
        sender.removeEntity(("E" + std::to_string(edits)).c_str(), "Block", true, true);
        grid.cube(edits, count + edits);
        EXPECT_TRUE(sender.endTransaction(false));
        ++edits;
    };
    const char payload[] = "p";
    int pings = 0;
    bool released = false;
    QJsonObject stats;
    // No dump while pinging: the time the test takes to read one lets a step run on undisturbed.
    for (int round = 0; round < 20; ++round) {
        for (int k = 0; k < 400; ++k, ++pings) {
            const std::size_t before = sender.messages.size();
            sender.sendMessage("zal.Ping", payload, 1);
            ASSERT_TRUE(xotest::waitUntil([&] { return sender.messages.size() > before; }));
            if (k % 50 == 10) {
                // The first edit lets the build go on, in steps of up to a second.
                if (!released) sender.sendConsoleCommand("zal.DrawingStepMs 1000");
                released = true;
                move();
            }
        }
        if (!(stats = render()).value("building").toBool()) break;
    }
    ASSERT_FALSE(stats.value("building").toBool()) << "still building after " << pings << " pings";
    // A frame follows the build; it draws what was built instead of building it again at once.
    ASSERT_TRUE(xotest::waitUntil([&] { return (stats = render()).value("frameMs").toDouble() > 0; }));
    EXPECT_GE(stats.value("buildSteps").toInt(), 8)
        << "messages arriving during steps did not end them, or the frame built the drawing again";
    EXPECT_EQ(stats.value("buildsFinishedAtOnce").toInt(), 0);
    EXPECT_EQ(stats.value("triangles").toDouble(), double(count) * 12);
    for (int e = 0; e < edits; ++e) {
        const std::string name = "edit" + std::to_string(e);
        EXPECT_EQ(std::count(sender.applied.begin(), sender.applied.end(), name), 1) << name;
    }
    EXPECT_EQ(std::count(sender.messages.begin(), sender.messages.end(), "zal.Pong"), pings);
    xotest::stopViewer(&sender);
}

// While a transaction comes in, a frame a change asks for waits for the transaction's end, for at most
// zal.TransactionFrameHoldMs after its beginning; a frame for a view that moved does not wait.
TEST(ViewerProcess, AFrameWaitsForTheOpenTransactionUnlessTheViewMoved)
{
    xotest::ensureApplication();
    OwnViewer own;
    ASSERT_TRUE(own.start());
    ObservedSender& sender = own.sender;
    int dumps = 0;
    const auto viewer = [&] { return dumpOf(sender, own.folder.path(), ++dumps).value("viewer").toObject(); };
    const auto drawn = [&] { return viewer().value("framesDrawn").toInt(); };
    const auto applied = [&](const std::string& name) {
        return xotest::waitUntil([&] { return !sender.applied.empty() && sender.applied.back() == name; });
    };
    // The frames drawn once those asked for so far are: the count stays for 300 ms.
    const auto settled = [&] {
        int now = drawn();
        for (int i = 0, seen = -1; i < 100 && now != seen; ++i) {
            seen = now;
            xotest::waitUntil([] { return false; }, 300);
            now = drawn();
        }
        return now;
    };
    CubeGrid grid(sender, 4);
    // The window's first picture does not wait: a transaction open from the start (as the host's start-up
    // batches keep one) still lets it come.
    sender.sendConsoleCommand("zal.TransactionFrameHoldMs 20000");
    ASSERT_TRUE(sender.beginTransaction("cubes"));
    grid.begin();
    grid.cube(0, 0);
    EXPECT_TRUE(xotest::waitUntil([&] { return drawn() > 0; }, 10000)) << "the first picture waited";
    ASSERT_TRUE(sender.endTransaction(false));
    ASSERT_TRUE(applied("cubes"));

    // The tone mapper changes in the middle of a transaction: its frame waits for the end.
    int before = settled();
    const int heldBefore = viewer().value("framesHeld").toInt();
    ASSERT_TRUE(sender.beginTransaction("held"));
    sender.setToneMapper(0.5f, 1.0f, 1.0f, true, 1.0f);
    grid.cube(1, 1);
    // Time for many frames (one every 30 ms at the least).
    xotest::waitUntil([] { return false; }, 1500);
    const QJsonObject during = viewer();
    EXPECT_EQ(during.value("framesDrawn").toInt(), before)
        << "a frame was drawn while the transaction came in";
    EXPECT_GT(during.value("framesHeld").toInt(), heldBefore);
    ASSERT_TRUE(sender.endTransaction(false));
    ASSERT_TRUE(applied("held"));
    EXPECT_TRUE(xotest::waitUntil([&] { return drawn() > before; })) << "no frame after the transaction";

    // The host moves the camera in the middle of a transaction: that frame does not wait.
    before = settled();
    ASSERT_TRUE(sender.beginTransaction("navigated"));
    grid.cube(2, 2);
    sender.setCamera(0, 0, 0, 900, -700, 600, 0, 0, 1, false, false, 45, 1.0f, 0, 0, "");
    EXPECT_TRUE(xotest::waitUntil([&] { return drawn() > before; }, 10000))
        << "the frame of a moved view waited for the transaction";
    ASSERT_TRUE(sender.endTransaction(false));
    ASSERT_TRUE(applied("navigated"));

    // A transaction left open past the hold: the window draws again.
    sender.sendConsoleCommand("zal.TransactionFrameHoldMs 300");
    before = settled();
    ASSERT_TRUE(sender.beginTransaction("left open"));
    sender.setToneMapper(1.0f, 1.0f, 1.0f, true, 1.0f);
    EXPECT_TRUE(xotest::waitUntil([&] { return drawn() > before; }, 20000))
        << "the window stopped drawing while a transaction stayed open";
    ASSERT_TRUE(sender.endTransaction(false));
    ASSERT_TRUE(applied("left open"));
}

// Edits that come while the viewer draws nothing. Each burst is 200 transactions moving four of eight cubes
// of a 3,000-cube grid away and back: some 3,200 changes, more than a drawing of that size follows one by
// one (2,048). The viewer must take them in as they come, so that its scene's log of changes stays
// empty and the next picture follows the eight cubes instead of building the whole drawing anew.
class QuietEdits
{
public:
    static constexpr int kCubes = 3000, kPerRow = 60, kBursts = 200;

    QuietEdits(ObservedSender& sender, const QString& folder) : m_sender(sender), m_folder(folder) {}
    bool sendGrid()
    {
        if (!m_sender.beginTransaction("grid")) return false;
        m_grid.begin();
        for (int i = 0; i < kCubes; ++i)
            m_grid.cube(i, i);
        return m_sender.endTransaction(false) && waitApplied("grid");
    }
    bool burst()
    {
        std::string last;
        for (int t = 0; t < kBursts; ++t, ++m_moves) {
            last = "quiet" + std::to_string(m_moves);
            if (!m_sender.beginTransaction(last.c_str())) return false;
            for (int k = 0; k < 4; ++k) {
                const int j = (m_moves * 4 + k) % 8, i = j * (kCubes / 8);
                m_sender.removeEntity(("E" + std::to_string(i)).c_str(), "Block", true, true);
                m_grid.cube(i, (m_moves / 2) % 2 ? kCubes + j : i);
            }
            if (!m_sender.endTransaction(false)) return false;
        }
        return waitApplied(last);
    }
    QJsonObject dump() { return dumpOf(m_sender, m_folder, ++m_dumps); }
    // A picture, drawn by the window's renderer from what it has followed; then the dump.
    QJsonObject picture()
    {
        const QString path = m_folder + QStringLiteral("/shot%1.png").arg(++m_shots);
        m_sender.sendConsoleCommand(QStringLiteral("HighResShot 160x120 filename=\"%1\"").arg(path));
        EXPECT_TRUE(xotest::waitUntil([&] { return QFileInfo::exists(path); }, 120000)) << "no picture";
        return dump();
    }

private:
    bool waitApplied(const std::string& name)
    {
        return xotest::waitUntil([&] { return !m_sender.applied.empty() && m_sender.applied.back() == name; },
                                 120000);
    }
    ObservedSender& m_sender;
    const QString m_folder;
    CubeGrid m_grid{m_sender, kPerRow};
    int m_moves = 0, m_dumps = 0, m_shots = 0;
};

// What a burst left: no change kept by the scene, at most the eight cubes' places and meshes taken in;
// then, once `resume` has let the window's renderer draw again, a picture that follows them without
// building anew and draws every cube.
void expectBurstTakenInAndFollowed(QuietEdits& quiet, const char* state,
                                   const std::function<void()>& resume = {})
{
    SCOPED_TRACE(state);
    const QJsonObject before = quiet.dump().value("render").toObject();
    ASSERT_TRUE(quiet.burst());
    const QJsonObject after = quiet.dump().value("render").toObject();
    EXPECT_EQ(after.value("changesKept").toDouble(), 0.0) << "the edits piled up in the scene's log";
    EXPECT_LE(after.value("changesTakenIn").toDouble(), 16.0);
    if (resume) resume();
    const QJsonObject shown = quiet.picture().value("render").toObject();
    EXPECT_EQ(shown.value("buildsStarted").toInt(), before.value("buildsStarted").toInt())
        << "the drawing was built anew";
    EXPECT_EQ(shown.value("triangles").toDouble(), double(QuietEdits::kCubes) * 12);
}

TEST(ViewerProcess, EditsMadeWhileTheWindowDrawsNothingDoNotPileUpAndAreFollowedWithoutBuildingAnew)
{
    // In turn: the first drawing's build held after its first step, drawing paused by the host (its
    // widget hidden), the path tracer drawing the window, and the window taken off the screen.
    xotest::ensureApplication();
    OwnViewer own;
    ASSERT_TRUE(own.start());
    ObservedSender& sender = own.sender;
    const QTemporaryDir& folder = own.folder;
    QuietEdits quiet(sender, folder.path());
    sender.sendConsoleCommand("zal.DrawingStepMs -1");
    ASSERT_TRUE(quiet.sendGrid());
    ASSERT_TRUE(xotest::waitUntil(
        [&] { return quiet.dump().value("render").toObject().value("building").toBool(); }, 120000))
        << "the drawing was never seen held part-built";
    ASSERT_NO_FATAL_FAILURE(expectBurstTakenInAndFollowed(quiet, "build held"));
    sender.sendConsoleCommand("zal.DrawingStepMs 20");

    sender.setRenderPaused(true);
    ASSERT_NO_FATAL_FAILURE(
        expectBurstTakenInAndFollowed(quiet, "drawing paused", [&] { sender.setRenderPaused(false); }));

    sender.sendConsoleCommand("showflag.pathtracing 1");
    ASSERT_TRUE(xotest::waitUntil(
        [&] { return quiet.dump().value("viewer").toObject().value("pathTraceSamples").toInt() > 0; },
        120000))
        << "the path tracer never drew the window";
    ASSERT_NO_FATAL_FAILURE(expectBurstTakenInAndFollowed(
        quiet, "path tracing", [&] { sender.sendConsoleCommand("showflag.pathtracing 0"); }));

    const auto window =
        static_cast<unsigned long>(quiet.dump().value("viewer").toObject().value("windowId").toDouble());
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(zalX11MinimiseWindow(window));
    ASSERT_TRUE(xotest::waitUntil([&] {
        return !quiet.dump().value("viewer").toObject().value("windowExposed").toBool(true);
    })) << "the viewer never saw its window leave the screen";
    ASSERT_NO_FATAL_FAILURE(expectBurstTakenInAndFollowed(quiet, "window off the screen"));
    xotest::stopViewer(&sender);
}

TEST(ViewerProcess, EditsMadeToAViewerWithoutAWindowDoNotPileUpBetweenItsPictures)
{
    // A viewer without a window draws only the pictures asked of it; it is started as the host starts
    // one, through a script that adds the option.
    xotest::ensureApplication();
    QTemporaryDir folder;
    const QString script = folder.filePath("headless-viewer.sh");
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\nexec '%1' --headless \"$@\"\n")
                       .arg(xotest::viewerExecutable())
                       .toLocal8Bit());
        ASSERT_TRUE(
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }
    std::vector<std::string> refreshed;
    ObservedSender sender(folder.path(), &refreshed);
    ASSERT_TRUE(sender.startRender(script.toStdWString().c_str(), 40, 30, 480, 320, false));
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.inits == 1; }));
    QuietEdits quiet(sender, folder.path());
    ASSERT_TRUE(quiet.sendGrid());
    const QJsonObject first = quiet.picture();
    ASSERT_TRUE(first.value("viewer").toObject().value("headless").toBool());
    EXPECT_EQ(first.value("render").toObject().value("triangles").toDouble(),
              double(QuietEdits::kCubes) * 12);
    ASSERT_NO_FATAL_FAILURE(expectBurstTakenInAndFollowed(quiet, "no window"));
    ASSERT_NO_FATAL_FAILURE(expectBurstTakenInAndFollowed(quiet, "no window, a second time"));
    xotest::stopViewer(&sender);
}

// The viewer reading bytes no host would send: it logs, closes the channel and ends with code 2.
class ViewerDecoder : public ::testing::Test
{
protected:
    struct Run
    {
        int exitCode = -1;
        QProcess::ExitStatus status = QProcess::CrashExit;
        QString errors;
    };

    Run feed(const std::string& bytes)
    {
        xotest::ensureApplication();
        const std::string name =
            "zalViewerDecoderTest-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        EXPECT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(server, 1), 0);
        QProcess viewer;
        viewer.start(xotest::viewerExecutable(), {"--channel", QString::fromStdString(name), "--headless"});
        EXPECT_TRUE(viewer.waitForStarted());
        const int connection = ::accept(server, nullptr, nullptr);
        EXPECT_GE(connection, 0);
        // Its first words are a well-formed announcement.
        XoRemoteRenderMessage hello;
        std::string error;
        EXPECT_EQ(XoSocketFrameIO::readFrame(connection, hello, error), XoSocketFrameIO::ReadStatus::Message)
            << error;
        EXPECT_EQ(hello.type(), XoMessageType::ViewerStarted);
        ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        ::shutdown(connection, SHUT_WR);
        Run run;
        EXPECT_TRUE(viewer.waitForFinished(60000));
        run.exitCode = viewer.exitCode();
        run.status = viewer.exitStatus();
        run.errors = QString::fromLocal8Bit(viewer.readAllStandardError());
        ::close(connection);
        ::close(server);
        return run;
    }

    int serial = 0;
};

TEST_F(ViewerDecoder, RandomBytesAreRefused)
{
    std::string bytes(64, '\0');
    std::uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = char(state >> 24);
    }
    const Run run = feed(bytes);
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains("malformed")) << run.errors.toStdString();
}

TEST_F(ViewerDecoder, AFrameCutShortIsRefused)
{
    const std::string frame =
        XoRemoteRenderMessage(XoMessageType::SendConsoleCommand).addString("pause").frameBytes();
    const Run run = feed(frame.substr(0, frame.size() - 2));
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains("ended inside a frame")) << run.errors.toStdString();
}

TEST_F(ViewerDecoder, AWrongLengthIsRefused)
{
    std::string frame =
        XoRemoteRenderMessage(XoMessageType::SendConsoleCommand).addString("pause").frameBytes();
    // The string claims more bytes than its frame holds.
    frame[8] = char(200);
    const Run run = feed(frame);
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains("claims")) << run.errors.toStdString();
}

TEST_F(ViewerDecoder, AHugeAnnouncedLengthIsRefusedWithoutWaitingForIt)
{
    std::string frame(8, '\0');
    const std::uint32_t length = 0xFFFFFFF0u, type = std::uint32_t(XoMessageType::AddMesh);
    std::memcpy(&frame[0], &length, 4);
    std::memcpy(&frame[4], &type, 4);
    const Run run = feed(frame);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains("exceeds the limit")) << run.errors.toStdString();
}

TEST_F(ViewerDecoder, AClosedChannelEndsTheViewerQuietly)
{
    const Run run = feed(std::string());
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_EQ(run.exitCode, 0);
}

} // namespace
