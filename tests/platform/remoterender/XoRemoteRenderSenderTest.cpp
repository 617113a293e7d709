// The sender and the flattener over the recording transport, which also plays the viewer.
#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderMessage.h"
#include "XoRemoteRenderMonitor.h"
#include "XoRemoteRenderSenderFlattener.h"
#include "XoTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

std::thread::id mainThread;

struct HandleLog
{
    std::mutex mutex;
    std::vector<std::uintptr_t> handles;
    bool onOtherThread = false;
} handleLog;

void handleArrived(const void* handle)
{
    std::lock_guard<std::mutex> lock(handleLog.mutex);
    handleLog.handles.push_back(reinterpret_cast<std::uintptr_t>(handle));
    handleLog.onOtherThread = std::this_thread::get_id() != mainThread;
}

struct PakLog
{
    std::mutex mutex;
    std::vector<std::pair<std::wstring, bool>> calls;
    bool onOtherThread = false;
} pakLog;

void pakMounted(const wchar_t* path, bool mounted)
{
    std::lock_guard<std::mutex> lock(pakLog.mutex);
    pakLog.calls.emplace_back(path, mounted);
    pakLog.onOtherThread = std::this_thread::get_id() != mainThread;
}

class Sender : public XoRemoteRenderSenderFlattener
{
public:
    Sender(std::unique_ptr<XoRecordingMessagesManager> transport, std::vector<std::string>* refreshed,
           XoMaterialMapCallback maps = nullptr)
        : XoRemoteRenderSenderFlattener(
              L"/work folder", std::move(maps), 42,
              [refreshed](const std::string& n) { refreshed->push_back(n); }, std::move(transport))
    {
    }
    void onRenderInit() override
    {
        XoRemoteRenderSenderFlattener::onRenderInit();
        events.push_back("init");
        initOnMainThread = std::this_thread::get_id() == mainThread;
    }
    void onRenderExit() override
    {
        XoRemoteRenderSenderFlattener::onRenderExit();
        events.push_back(isViewerStarted() ? "exit(started)" : "exit");
    }
    void onRenderDataSaved() override { events.push_back("saved"); }
    void onChannelConnected() override { events.push_back("connected"); }
    void onChannelDisconnected() override { events.push_back("disconnected"); }
    void onError(int code, const char* message) override
    {
        events.push_back("error " + std::to_string(code));
        lastError = message;
    }
    void onMessage(const char* name, const void* data, long size) override
    {
        events.push_back(std::string("message ") + name + " " +
                         std::string(static_cast<const char*>(data), size));
    }
    void onRenderProcessExit(int code) override { events.push_back("process " + std::to_string(code)); }
    void onTransactionApplied(const char* name) override { events.push_back(std::string("applied ") + name); }

    std::vector<std::string> events;
    std::string lastError;
    bool initOnMainThread = false;
};

class RecordedSender : public ::testing::Test
{
protected:
    void SetUp() override
    {
        xotest::ensureApplication();
        mainThread = std::this_thread::get_id();
        auto transport = std::make_unique<XoRecordingMessagesManager>();
        recording = transport.get();
        sender = std::make_unique<Sender>(std::move(transport), &refreshed);
        recording->clear();
    }
    void startViewer()
    {
        recording->simulateViewerStarted();
        QCoreApplication::processEvents();
        ASSERT_TRUE(sender->isViewerStarted());
        sender->events.clear();
        recording->clear();
    }
    QStringList lines() const { return recording->lines(); }

    XoRecordingMessagesManager* recording = nullptr;
    std::vector<std::string> refreshed;
    std::unique_ptr<Sender> sender;
};

const float kMove[16] = {1, 0, 0, 10, 0, 1, 0, 20, 0, 0, 1, 30, 0, 0, 0, 1};

TEST_F(RecordedSender, WritesEveryOperationAsOneLine)
{
    const float positions[9] = {0, 0, 0, -100, 0, 0, 0, 100, 0};
    const float normals[9] = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    const float uv[6] = {0, 0, 1, 0, 0, 1};
    const std::int32_t flags[3] = {1, 1, 1};
    const std::int32_t faces[1] = {3};
    const float spawned[32] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1,
                               1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    sender->beginTransaction("refresh");
    sender->addComponentDef("B", "Block", false, "");
    sender->addInstance("E", "B", "", "E", kMove, "M");
    sender->addInstance("F", "B", "", "F", nullptr, "");
    sender->addMesh("E_M", "E", "", positions, normals, uv, uv, flags, faces, 1, 3, "M", "M");
    sender->addMaterial("M", "Base [Tag]", "t.png", 0x00FF8000u, 0.5f, "", "ShaderType:0,AlphaMap:1;1;1:1");
    sender->addLight("L", "B", 2500, 0xFFFFFF, 1, 30, 45, 10, 20, true, 1, "IES/a", kMove, false);
    sender->spawnInstances("S[SE:K]", "S", "K", "", 2, spawned, "");
    sender->addGroup("G", "Model", "Group", nullptr);
    sender->removeEntity("E", "B", false, true);
    sender->removeEntityMeshes("F");
    sender->assureEntityConnected("F", "Model");
    sender->endTransaction(true);
    sender->clearSession();
    sender->setAssetTransform("R", kMove);
    sender->placeAsset("A", "Model", "Nature_Tree", nullptr);
    sender->setAssetVisible("A", false);
    sender->addFile("File", "Model", L"/tmp/m.fbx", nullptr);
    sender->setFileTransform("File", kMove);
    sender->setFileVisible("File", true);
    sender->enumExternalContents(L"/lib/Nature.pak");
    sender->mountExternalPak(L"/lib/Nature.pak", nullptr);
    sender->setCamera(1, 2, 3, 4, 5, 6, 0, 0, 1, false, false, 45.5f, 1.0f, 0, 0, "");
    sender->setNavigationType(UnrealNavigationHost);
    sender->setNavigationSpeed(3);
    sender->setSunByPos(100, 30, 40);
    sender->setSunByTime(90, 41.9f, 12.5f, 2026, 6, 21, 11.5f);
    sender->setToneMapper(1, 1, 1, true, 1);
    sender->takePicture(L"/tmp/p.png", 640, 360);
    sender->sendInputEvent(XoInputEvent{3, 0, 10, 20});
    sender->sendConsoleCommand("HighResShot 640x360 filename=\"/tmp/a b/x.png\"");
    sender->sendMessage("zal.Ping", "ab", 2);
    sender->setRenderPaused(true);
    sender->enableVR(false);
    sender->getWindowHandle(nullptr);
    sender->requestSaveData();
    sender->requestRenderExit();

    const QStringList expected = {
        "beginTransaction name=\"refresh\"",
        "addComponentDef name=\"B\" label=\"Block\" external=false source=\"\"",
        "addInstance name=\"E\" parent=\"B\" component=\"\" asset=\"E\" "
        "transform=[1,0,0,10,0,1,0,20,0,0,1,30,0,0,0,1] material=\"M\"",
        "addInstance name=\"F\" parent=\"B\" component=\"\" asset=\"F\" "
        "transform=[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1] material=\"\"",
        "addMesh name=\"E_M\" parent=\"E\" component=\"\" positions=[0,0,0,-100,0,0,0,100,0] "
        "normals=[0,0,1,0,0,1,0,0,1] uv0=[0,0,1,0,0,1] uv1=[0,0,1,0,0,1] flags=[1,1,1] faceSizes=[3] "
        "faceSizeCount=1 vertexCount=3 material=\"M\" secondMaterial=\"M\"",
        "addMaterial name=\"M\" baseMaterial=\"Base [Tag]\" texture=\"t.png\" colour=16744448 opacity=0.5 "
        "secondTexture=\"\" parameters=\"ShaderType:0,AlphaMap:1;1;1:1\"",
        "addLight name=\"L\" parent=\"B\" intensity=2500 colour=16777215 type=1 hotspotAngle=30 "
        "falloffAngle=45 "
        "size1=10 size2=20 castShadows=true attenuationRadius=1 iesFile=\"IES/a\" "
        "transform=[1,0,0,10,0,1,0,20,0,0,1,30,0,0,0,1] on=false",
        "spawnInstances name=\"S[SE:K]\" parent=\"S\" component=\"K\" asset=\"\" count=2 "
        "transforms=[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1,1,0,0,5,0,1,0,0,0,0,1,0,0,0,0,1] material=\"\"",
        "addGroup name=\"G\" parent=\"Model\" label=\"Group\" transform=[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1]",
        "removeEntity name=\"E\" parent=\"B\" removeChildren=false removeMeshes=true",
        "removeEntityMeshes name=\"F\"",
        "assureEntityConnected name=\"F\" parent=\"Model\"",
        "endTransaction fullUpdate=true",
        "clearSession",
        "setAssetTransform name=\"R\" transform=[1,0,0,10,0,1,0,20,0,0,1,30,0,0,0,1]",
        "placeAsset name=\"A\" parent=\"Model\" asset=\"Nature_Tree\" "
        "transform=[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1]",
        "setAssetVisible name=\"A\" visible=false",
        "addFile name=\"File\" parent=\"Model\" path=\"/tmp/m.fbx\" "
        "transform=[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1]",
        "setFileTransform name=\"File\" transform=[1,0,0,10,0,1,0,20,0,0,1,30,0,0,0,1]",
        "setFileVisible name=\"File\" visible=true",
        "enumExternalContents path=\"/lib/Nature.pak\"",
        "mountExternalPak path=\"/lib/Nature.pak\"",
        "setCamera aim=[1,2,3] position=[4,5,6] up=[0,0,1] animate=false orthographic=false fieldOfView=45.5 "
        "aspectRatio=1 viewIndex=0 flags=0 name=\"\"",
        "setNavigationType type=2",
        "setNavigationSpeed speed=3",
        "setSunByPos northOffset=100 azimuth=30 elevation=40",
        "setSunByTime northOffset=90 latitude=41.9 longitude=12.5 year=2026 month=6 day=21 solarTime=11.5",
        "setToneMapper exposure=1 contrast=1 saturation=1 autoExposure=true gamma=1",
        "takePicture path=\"/tmp/p.png\" width=640 height=360",
        "sendInputEvent type=3 a=0 x=10 y=20",
        "sendConsoleCommand command=\"HighResShot 640x360 filename=\\\"/tmp/a b/x.png\\\"\"",
        "sendMessage name=\"zal.Ping\" data=2",
        "setRenderPaused paused=true",
        "enableVR enabled=false",
        "getWindowHandle",
        "requestSaveData",
        "requestRenderExit",
    };
    const QStringList actual = lines();
    ASSERT_EQ(actual.size(), expected.size()) << actual.join("\n").toStdString();
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(actual[i].toStdString(), expected[i].toStdString()) << "line " << i;
    EXPECT_EQ(recording->consoleCommands(), QStringList{"HighResShot 640x360 filename=\"/tmp/a b/x.png\""});
    EXPECT_EQ(recording->lines("setRenderPaused"), QStringList{"setRenderPaused paused=true"});
    EXPECT_TRUE(sender->isPaused());
}

TEST_F(RecordedSender, StartsTheViewerWithItsFolderKeyAndRectangle)
{
    EXPECT_TRUE(sender->startRender(L"/app/zalViewer.exe", 10, 20, 640, 480, false));
    EXPECT_TRUE(sender->isProcessRunning());
    EXPECT_TRUE(sender->startRender(L"/app/zalViewer.exe", true));
    EXPECT_EQ(lines(),
              (QStringList{"startRender executable=\"/app/zalViewer.exe\" workingFolder=\"/work folder\" "
                           "sessionKey=42 x=10 y=20 width=640 height=480 vr=false",
                           "startRender executable=\"/app/zalViewer.exe\" workingFolder=\"/work folder\" "
                           "sessionKey=42 vr=true"}));
}

TEST_F(RecordedSender, AllowsOneTransactionAtATime)
{
    EXPECT_TRUE(sender->beginTransaction("first"));
    EXPECT_FALSE(sender->beginTransaction("second"));
    EXPECT_TRUE(sender->isTransactionOpen());
    EXPECT_TRUE(sender->endTransaction(false));
    EXPECT_FALSE(sender->endTransaction(false));
    EXPECT_EQ(lines(), (QStringList{"beginTransaction name=\"first\"", "endTransaction fullUpdate=false"}));
}

TEST_F(RecordedSender, NotifiesOnTheGuiThreadAfterTheEventLoopTurns)
{
    recording->simulateViewerStarted("4.27");
    // Posted, not yet delivered.
    EXPECT_FALSE(sender->isViewerStarted());
    EXPECT_TRUE(sender->events.empty());
    QCoreApplication::processEvents();
    EXPECT_TRUE(sender->isViewerStarted());
    EXPECT_TRUE(sender->initOnMainThread);
    EXPECT_EQ(sender->events, (std::vector<std::string>{"connected", "init"}));

    sender->events.clear();
    recording->simulateTransactionApplied("refresh");
    recording->simulateDataSaved(L"/w/saved.json");
    recording->simulateMessage("zal.Pong", "xy");
    recording->simulateError(9, "bad thing");
    QCoreApplication::processEvents();
    EXPECT_EQ(sender->events,
              (std::vector<std::string>{"applied refresh", "saved", "message zal.Pong xy", "error 9"}));
    EXPECT_EQ(sender->lastError, "bad thing");
}

TEST_F(RecordedSender, DeliversTheWindowHandleOnTheChannelThread)
{
    startViewer();
    sender->getWindowHandle(&handleArrived);
    EXPECT_EQ(lines(), QStringList{"getWindowHandle"});
    recording->simulateWindowHandle(0x3a00007);
    // No event-loop turn needed: the callback ran on the channel's thread.
    std::lock_guard<std::mutex> lock(handleLog.mutex);
    ASSERT_EQ(handleLog.handles.size(), 1u);
    EXPECT_EQ(handleLog.handles[0], 0x3a00007u);
    EXPECT_TRUE(handleLog.onOtherThread);
}

TEST_F(RecordedSender, CallsEachPakCallbackOnceOnTheChannelThread)
{
    startViewer();
    sender->mountExternalPak(L"/lib/A.pak", &pakMounted);
    sender->mountExternalPak(L"/lib/B.pak", nullptr);
    recording->simulatePakMounted(L"/lib/B.pak", true);
    recording->simulatePakMounted(L"/lib/A.pak", false);
    recording->simulatePakMounted(L"/lib/A.pak", true); // nobody waits any more
    std::lock_guard<std::mutex> lock(pakLog.mutex);
    ASSERT_EQ(pakLog.calls.size(), 1u);
    EXPECT_EQ(pakLog.calls[0].first, L"/lib/A.pak");
    EXPECT_FALSE(pakLog.calls[0].second);
    EXPECT_TRUE(pakLog.onOtherThread);
}

TEST_F(RecordedSender, AnswersIsEntityValidFromWhatWasSent)
{
    startViewer();
    EXPECT_FALSE(sender->isEntityValid("E", "B"));
    sender->addInstance("E", "B", "", "E", nullptr, "");
    sender->addMesh("E_M", "E", "", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, "M", "M");
    sender->addMaterial("M", "", "", 0, 1, "", "");
    sender->addComponentDef("B", "Block", false, "");
    sender->spawnInstances("S[SE:B]", "S", "B", "", 0, nullptr, "");
    EXPECT_TRUE(sender->isEntityValid("E", "B"));
    EXPECT_TRUE(sender->isEntityValid("E", ""));
    EXPECT_FALSE(sender->isEntityValid("E", "Other"));
    EXPECT_TRUE(sender->isEntityValid("M", ""));
    EXPECT_TRUE(sender->isEntityValid("B", ""));
    EXPECT_TRUE(sender->isEntityValid("E_M", "E"));
    EXPECT_TRUE(sender->isEntityValid("S[SE:B]", "S"));
    EXPECT_FALSE(sender->isEntityValid(nullptr, nullptr));

    // Connecting gives a held entity another owner; an unknown one stays unknown.
    sender->assureEntityConnected("E", "Model");
    sender->assureEntityConnected("Nobody", "Model");
    EXPECT_TRUE(sender->isEntityValid("E", "Model"));
    EXPECT_FALSE(sender->isEntityValid("Nobody", "Model"));

    sender->removeEntityMeshes("E");
    EXPECT_FALSE(sender->isEntityValid("E_M", "E"));
    EXPECT_TRUE(sender->isEntityValid("E", "B"));
    sender->removeEntity("E", "B", false, false);
    EXPECT_FALSE(sender->isEntityValid("E", "B"));
    EXPECT_TRUE(sender->isEntityValid("E", "Model"));
    sender->removeEntity("E", "", false, false);
    EXPECT_FALSE(sender->isEntityValid("E", ""));

    sender->clearSession();
    EXPECT_FALSE(sender->isEntityValid("M", ""));
    EXPECT_FALSE(sender->isEntityValid("S[SE:B]", "S"));
}

// Confirmations reuse their name buffers: a long name, then a short one, then names beyond ASCII.
TEST_F(RecordedSender, ConfirmationsCarryEachNameWhole)
{
    startViewer();
    const QString wide = QString::fromUtf8("Gel\u00e4nde_\u00df_\u6a4b");
    sender->addInstance("AVeryLongEntityNameForTheFirstCall", "B", "", "L", nullptr, "");
    sender->addInstance(wide.toUtf8().constData(), "B", "", "W", nullptr, "");
    sender->addInstance("E", "B", "", "E", nullptr, "");
    sender->assureEntityConnected("AVeryLongEntityNameForTheFirstCall", "Model");
    sender->assureEntityConnected("E", "M");
    sender->assureEntityConnected(wide, QString::fromUtf8("Ra\u00fcm"));

    const QStringList recorded = lines().filter(QStringLiteral("assureEntityConnected"));
    ASSERT_EQ(recorded.size(), 3);
    EXPECT_EQ(recorded[1], QStringLiteral("assureEntityConnected name=\"E\" parent=\"M\""));
    EXPECT_TRUE(recorded[2].contains(wide)) << recorded[2].toStdString();
    EXPECT_TRUE(recorded[2].contains(QString::fromUtf8("Ra\u00fcm"))) << recorded[2].toStdString();
    // The owners were added under the names as sent.
    EXPECT_TRUE(sender->isEntityValid("E", "M"));
    EXPECT_TRUE(sender->isEntityValid(wide.toUtf8().constData(),
                                      QString::fromUtf8("Ra\u00fcm").toUtf8().constData()));
    EXPECT_TRUE(sender->isEntityValid("AVeryLongEntityNameForTheFirstCall", "Model"));
}

TEST_F(RecordedSender, RemovingWithChildrenForgetsTheWholeBranch)
{
    startViewer();
    sender->addInstance("S", "Model", "", "S", nullptr, "");
    sender->addInstance("C", "S", "", "C", nullptr, "");
    sender->addInstance("G", "C", "", "G", nullptr, "");
    sender->addMesh("G_M", "G", "", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, "M", "M");
    sender->addInstance("Other", "Model", "", "Other", nullptr, "");
    // An owner cycle must not trap the bookkeeping.
    sender->addInstance("S", "G", "", "S", nullptr, "");
    sender->removeEntity("S", "Model", true, true);
    EXPECT_FALSE(sender->isEntityValid("S", "Model"));
    EXPECT_FALSE(sender->isEntityValid("C", "S"));
    EXPECT_FALSE(sender->isEntityValid("G", "C"));
    EXPECT_FALSE(sender->isEntityValid("G_M", "G"));
    EXPECT_TRUE(sender->isEntityValid("Other", "Model"));
}

TEST_F(RecordedSender, RemovingSomeOfManyChildrenKeepsTheOthers)
{
    startViewer();
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        const std::string name = "E" + std::to_string(i);
        sender->addInstance(name.c_str(), "Model", "", name.c_str(), nullptr, "");
        sender->addMesh((name + "_M").c_str(), name.c_str(), "", nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, 0, 0, "M", "M");
        // Every tenth also sits under a second owner.
        if (i % 10 == 0) sender->assureEntityConnected(QString::fromStdString(name), "Other");
    }
    // Out of order, so removals land in the middle, at the end and at the front of the owner's list.
    std::vector<int> removed;
    for (int i = 0; i < count; i += 3)
        removed.push_back((i * 7919) % count);
    for (int i : removed) {
        const std::string name = "E" + std::to_string(i);
        sender->removeEntity(name.c_str(), "Model", false, true);
    }
    for (int i = 0; i < count; ++i) {
        const std::string name = "E" + std::to_string(i);
        const bool gone = std::find(removed.begin(), removed.end(), i) != removed.end();
        EXPECT_EQ(sender->isEntityValid(name.c_str(), "Model"), !gone) << name;
        EXPECT_EQ(sender->isEntityValid((name + "_M").c_str(), name.c_str()), !gone) << name;
        EXPECT_EQ(sender->isEntityValid(name.c_str(), "Other"), i % 10 == 0) << name;
        EXPECT_EQ(sender->isEntityValid(name.c_str(), ""), !gone || i % 10 == 0) << name;
    }
    // The rest of the branch still goes as a whole, and an entity that owns itself is no trap.
    sender->addInstance("Self", "Self", "", "Self", nullptr, "");
    sender->addInstance("Self", "Model", "", "Self", nullptr, "");
    sender->removeEntity("Model", "", true, true);
    for (int i = 0; i < count; ++i) {
        const std::string name = "E" + std::to_string(i);
        EXPECT_FALSE(sender->isEntityValid(name.c_str(), "Model")) << name;
        EXPECT_FALSE(sender->isEntityValid((name + "_M").c_str(), name.c_str())) << name;
    }
    EXPECT_FALSE(sender->isEntityValid("Self", "Model"));
    EXPECT_FALSE(sender->isEntityValid("Self", "Self"));
    EXPECT_TRUE(sender->isEntityValid("E0", "Other"));
    sender->removeEntity("E0", "", false, false);
    EXPECT_FALSE(sender->isEntityValid("E0", ""));
}

TEST_F(RecordedSender, AnEntityTheViewerLostIsRefreshed)
{
    startViewer();
    sender->addInstance("E", "B", "", "E", nullptr, "");
    sender->addMesh("E_M", "E", "", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, "M", "M");
    sender->addMaterial("M", "", "", 0, 1, "", "");

    recording->simulateEntityLost("E", "B");
    recording->simulateEntityLost("E_M", "E");
    recording->simulateEntityLost("M", "");
    recording->simulateEntityLost("Unknown", "B"); // not held here: nobody needs it
    EXPECT_TRUE(refreshed.empty()) << "delivered on the GUI thread only";
    QCoreApplication::processEvents();
    EXPECT_EQ(refreshed, (std::vector<std::string>{"E", "E", "M"}));
    EXPECT_FALSE(sender->isEntityValid("E", "B"));
    EXPECT_FALSE(sender->isEntityValid("E_M", "E"));
    EXPECT_FALSE(sender->isEntityValid("M", ""));
}

TEST_F(RecordedSender, ForgetsEverythingWhenTheViewerEnds)
{
    startViewer();
    sender->beginTransaction("open");
    sender->addMaterial("M", "", "", 0, 1, "", "");
    recording->simulateViewerExit(3);
    EXPECT_TRUE(sender->isViewerStarted());
    QCoreApplication::processEvents();
    EXPECT_FALSE(sender->isViewerStarted());
    EXPECT_FALSE(sender->isProcessRunning());
    EXPECT_EQ(sender->events, (std::vector<std::string>{"disconnected", "exit", "process 3"}));
    EXPECT_FALSE(sender->isEntityValid("M", ""));
    EXPECT_FALSE(sender->isTransactionOpen());
    // A restarted viewer starts from nothing and can take a transaction again.
    recording->simulateViewerStarted();
    QCoreApplication::processEvents();
    EXPECT_TRUE(sender->isViewerStarted());
    EXPECT_TRUE(sender->beginTransaction("again"));
}

namespace {
int viewerEndedLines = 0;
QtMessageHandler previousHandler = nullptr;
void countViewerEnded(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains(QLatin1String("viewer ended")))
        ++viewerEndedLines;
    else if (previousHandler)
        previousHandler(type, context, text);
}
} // namespace

TEST_F(RecordedSender, SaysOnceThatEachViewerEnded)
{
    viewerEndedLines = 0;
    previousHandler = qInstallMessageHandler(countViewerEnded);
    std::shared_ptr<void> restore(nullptr, [](void*) { qInstallMessageHandler(previousHandler); });
    startViewer();
    recording->simulateViewerExit(0);
    QCoreApplication::processEvents();
    // The session tells the sender again when it drops the ended viewer.
    sender->onRenderExit();
    EXPECT_EQ(viewerEndedLines, 1);
    recording->simulateViewerStarted();
    QCoreApplication::processEvents();
    recording->simulateViewerExit(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(viewerEndedLines, 2);
}

TEST_F(RecordedSender, AViewerThatDiesBeforeAnnouncingItselfIsAnError)
{
    sender->startRender(L"/app/viewer", false);
    recording->simulateViewerExit(3);
    QCoreApplication::processEvents();
    EXPECT_EQ(sender->events, (std::vector<std::string>{"error 3", "process 3"}));
    EXPECT_NE(sender->lastError.find("before it announced itself"), std::string::npos);
    EXPECT_FALSE(sender->isViewerStarted());
}

TEST_F(RecordedSender, MaterialMapsNeedParametersFromTheCallback)
{
    std::vector<std::string> unused;
    auto transport = std::make_unique<XoRecordingMessagesManager>();
    XoRecordingMessagesManager* log = transport.get();
    Sender withMaps(std::move(transport), &unused, [](const std::string& name) {
        return name == "Known" ? std::string("ShaderType:1") : std::string();
    });
    log->clear();
    EXPECT_FALSE(withMaps.generateMaterialMaps("Unknown", 256, 256));
    EXPECT_TRUE(withMaps.generateMaterialMaps("Known", 512, 256));
    EXPECT_FALSE(sender->generateMaterialMaps("Known", 512, 256)) << "no callback, no maps";
    EXPECT_EQ(log->lines(), QStringList{"generateMaterialMaps name=\"Known\" parameters=\"ShaderType:1\" "
                                        "width=512 height=256"});
}

TEST_F(RecordedSender, BadBytesFromTheViewerAreRefusedAndEndTheConnection)
{
    startViewer();
    const std::string good =
        XoRemoteRenderMessage(XoMessageType::ViewerMessage).addString("n").addBytes("d", 1).frameBytes();
    // Every prefix of a good frame is held back until the rest arrives, then delivered once.
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        recording->simulateBytes(good.substr(0, cut));
        QCoreApplication::processEvents();
        EXPECT_TRUE(sender->events.empty()) << "cut " << cut;
        recording->simulateBytes(good.substr(cut));
        QCoreApplication::processEvents();
        ASSERT_EQ(sender->events, std::vector<std::string>{"message n d"}) << "cut " << cut;
        sender->events.clear();
    }

    std::string wrong = good;
    wrong[8] = char(100); // the name claims more than the frame holds
    recording->simulateBytes(wrong);
    QCoreApplication::processEvents();
    EXPECT_EQ(sender->events, (std::vector<std::string>{"error 1", "disconnected", "exit"}));
    EXPECT_NE(sender->lastError.find("claims"), std::string::npos) << sender->lastError;
    EXPECT_FALSE(sender->isViewerStarted());
}

TEST_F(RecordedSender, RandomBytesFromTheViewerNeverHarmTheSender)
{
    std::uint32_t state = 7;
    for (int round = 0; round < 300; ++round) {
        startViewer();
        std::string bytes(8 + round % 40, '\0');
        for (char& c : bytes) {
            state = state * 1103515245u + 12345u;
            c = char(state >> 16);
        }
        if (round % 3 == 0) {
            // A believable header with a random body.
            const std::uint32_t length = std::uint32_t(bytes.size() - 8);
            const std::uint32_t type = 100 + std::uint32_t(round % 12);
            std::memcpy(&bytes[0], &length, 4);
            std::memcpy(&bytes[4], &type, 4);
        }
        recording->simulateBytes(bytes);
        recording->simulateViewerExit(0);
        QCoreApplication::processEvents();
        EXPECT_FALSE(sender->isViewerStarted());
    }
}

TEST_F(RecordedSender, ViewerMessagesTheSenderDoesNotExpectAreReported)
{
    startViewer();
    recording->simulateBytes(
        XoRemoteRenderMessage(XoMessageType::SendConsoleCommand).addString("x").frameBytes());
    QCoreApplication::processEvents();
    EXPECT_EQ(sender->events, std::vector<std::string>{"error 2"});
    EXPECT_TRUE(sender->isViewerStarted());
}

TEST(RecordingTransport, AppendsItsLinesToAFile)
{
    xotest::ensureApplication();
    QTemporaryDir folder;
    const QString file = folder.filePath("calls.log");
    {
        std::vector<std::string> unused;
        Sender sender(std::make_unique<XoRecordingMessagesManager>(file), &unused);
        sender.sendConsoleCommand("pause");
    }
    QFile log(file);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly | QIODevice::Text));
    EXPECT_EQ(QString::fromUtf8(log.readAll()),
              "listen channel=\"recording-s\"\nsendConsoleCommand command=\"pause\"\nclose\n");
}

TEST(RecordingTransport, BecomesTheDefaultThroughTheFactory)
{
    xotest::ensureApplication();
    XoRecordingMessagesManager* made = nullptr;
    XoRemoteRenderSender::setDefaultTransportFactory([&made] {
        auto transport = std::make_unique<XoRecordingMessagesManager>();
        made = transport.get();
        return std::unique_ptr<XoInterProcessMessagesManager>(std::move(transport));
    });
    {
        XoRemoteRenderSenderFlattener sender(L"/w", nullptr, 1, nullptr);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(sender.transport(), made);
        EXPECT_TRUE(sender.isServerRunning());
        sender.setNavigationType(UnrealNavigationFly);
        EXPECT_EQ(made->lines().last(), "setNavigationType type=1");
    }
    XoRemoteRenderSender::setDefaultTransportFactory(nullptr);
    XoRemoteRenderSenderFlattener real(L"/w", nullptr, 1, nullptr);
    EXPECT_EQ(dynamic_cast<XoRecordingMessagesManager*>(real.transport()), nullptr);
    EXPECT_TRUE(real.isServerRunning());
}

TEST(RecordingTransport, AServerThatCannotListenIsNotRunning)
{
    xotest::ensureApplication();
    auto transport = std::make_unique<XoRecordingMessagesManager>();
    transport->setListenSucceeds(false);
    std::vector<std::string> unused;
    Sender sender(std::move(transport), &unused);
    EXPECT_FALSE(sender.isServerRunning());
    EXPECT_FALSE(sender.isViewerStarted());
}

} // namespace

namespace {

// What the host learns through the process-wide monitor.
struct RecordingMonitor : XoRemoteRenderMonitor
{
    void contentSent(long key, std::uint64_t e, std::uint64_t t) override
    {
        keys.push_back(key);
        entities += e;
        triangles += t;
    }
    void viewerReported(long key, int code, const char* message) override
    {
        reports.push_back(std::to_string(key) + " " + std::to_string(code) + " " + message);
    }
    std::vector<long> keys;
    std::uint64_t entities = 0, triangles = 0;
    std::vector<std::string> reports;
};

class MonitoredSender : public ::testing::Test
{
protected:
    void SetUp() override
    {
        xotest::ensureApplication();
        auto transport = std::make_unique<XoRecordingMessagesManager>();
        recording = transport.get();
        // The plain flattener: its notifications keep the library's behaviour.
        sender = std::make_unique<XoRemoteRenderSenderFlattener>(L"/work", nullptr, 77, nullptr,
                                                                 std::move(transport));
        XoRemoteRenderSender::setMonitor(&monitor);
        recording->simulateViewerStarted();
        QCoreApplication::processEvents();
    }
    void TearDown() override { XoRemoteRenderSender::setMonitor(nullptr); }

    RecordingMonitor monitor;
    XoRecordingMessagesManager* recording = nullptr;
    std::unique_ptr<XoRemoteRenderSenderFlattener> sender;
};

} // namespace

TEST_F(MonitoredSender, CountsPlacedEntitiesAndTheTrianglesOfEveryFace)
{
    // A triangle, a quad, a reversed triangle and a pentagon: 1 + 2 + 1 + 3 triangles.
    std::vector<float> positions(15 * 3, 0.0f), uv(15 * 2, 0.0f);
    std::vector<std::int32_t> flags(15, 0);
    const std::int32_t faces[4] = {3, 4, -3, 5};
    const float spawned[48] = {};
    sender->beginTransaction("first_run");
    sender->addMaterial("M", "", "", 0, 1, "", "");
    sender->addComponentDef("B", "Block", false, "");
    sender->addGroup("G", "Model", "Group", nullptr);
    sender->addInstance("E", "G", "", "", kMove, "M");
    sender->addMesh("E_M", "E", "", positions.data(), positions.data(), uv.data(), uv.data(), flags.data(),
                    faces, 4, 15, "M", "");
    sender->addLight("L", "G", 1, 0xFFFFFF, 0, 30, 45, 0, 0, true, 1, "", nullptr, true);
    sender->spawnInstances("S", "G", "B", "", 3, spawned, "");
    sender->endTransaction(false);
    EXPECT_EQ(monitor.triangles, 7u);
    // One instance, one light and three spawned copies; materials, blocks and groups are not entities.
    EXPECT_EQ(monitor.entities, 5u);
    for (long key : monitor.keys)
        EXPECT_EQ(key, 77);

    // A refresh sends lights and instances again: they replace themselves and the counts stay.
    sender->addLight("L", "G", 2, 0xFFFFFF, 0, 30, 45, 0, 0, true, 1, "", nullptr, true);
    sender->addInstance("E", "G", "", "", nullptr, "M");
    sender->addMesh("E_M", "E", "", positions.data(), positions.data(), uv.data(), uv.data(), flags.data(),
                    faces, 4, 15, "M", "");
    EXPECT_EQ(monitor.entities, 5u);
    EXPECT_EQ(monitor.triangles, 7u);
    // Removed and drawn again (an edited entity) counts again.
    sender->removeEntity("E", "G", true, true);
    sender->addInstance("E", "G", "", "", nullptr, "M");
    EXPECT_EQ(monitor.entities, 6u);
}

TEST_F(MonitoredSender, HandsOnTheViewersFaultsButNotTheChannels)
{
    recording->simulateError(8, "unknown console command: frobnicate 1");
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.reports, std::vector<std::string>{"77 8 unknown console command: frobnicate 1"});

    // The library's own complaint (a viewer that ended before it said it started) is the host's
    // process watch's business, not a report of the viewer.
    monitor.reports.clear();
    recording->simulateViewerExit(0);
    QCoreApplication::processEvents();
    sender->startRender(L"/app/viewer", false);
    recording->simulateViewerExit(3);
    QCoreApplication::processEvents();
    EXPECT_TRUE(monitor.reports.empty()) << monitor.reports.front();
}
