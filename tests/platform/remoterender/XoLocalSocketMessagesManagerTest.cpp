// The real transport with a stand-in viewer on the other end of the socket.
#include "XoLocalSocketMessagesManager.h"
#include "XoRemoteRenderMessage.h"
#include "XoRemoteRenderSenderFlattener.h"
#include "XoSharedRing.h"
#include "XoSocketFrameIO.h"
#include "XoTestSupport.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

std::atomic<std::uintptr_t> lastHandle{0};
std::atomic<bool> handleOnOwnThread{false};
std::thread::id mainThread;

void handleArrived(const void* handle)
{
    handleOnOwnThread = std::this_thread::get_id() != mainThread;
    lastHandle = reinterpret_cast<std::uintptr_t>(handle);
}

class Sender : public XoRemoteRenderSenderFlattener
{
public:
    Sender() : XoRemoteRenderSenderFlattener(L"/tmp", nullptr, 5, nullptr) {}
    void onRenderInit() override { ++inits; }
    void onRenderExit() override { ++exits; }
    void onChannelConnected() override { ++connects; }
    void onChannelDisconnected() override { ++disconnects; }
    void onError(int, const char* message) override { errors.push_back(message); }
    int inits = 0, exits = 0, connects = 0, disconnects = 0;
    std::vector<std::string> errors;
};

// Plays the viewer: connects by channel name and reads or writes frames, through the shared ring once
// the sender has offered it.
class FakeViewer
{
public:
    explicit FakeViewer(const std::string& channel)
    {
        std::string error;
        fd = XoLocalSocketMessagesManager::connectToChannel(channel, error);
        EXPECT_GE(fd, 0) << error;
    }
    // Asks for the ring; with `wait`, takes the offer before returning (nothing else is sent meanwhile).
    void askForRing(bool wait)
    {
        ASSERT_TRUE(send(XoRemoteRenderMessage(XoMessageType::SharedRingRequest)));
        if (!wait) return;
        XoRemoteRenderMessage m;
        ASSERT_TRUE(read(m));
        ASSERT_TRUE(ring) << "the first frame after the request was " << m.name();
    }
    ~FakeViewer()
    {
        if (fd >= 0) ::close(fd);
    }
    bool send(const XoRemoteRenderMessage& m)
    {
        std::string error;
        return XoSocketFrameIO::writeFrame(fd, m, error);
    }
    // The next frame, whichever way it comes; an offer is taken and reported as the frame read.
    bool read(XoRemoteRenderMessage& m)
    {
        std::string error;
        if (ring)
            return XoSocketFrameIO::readFrame(*ring, fd, m, error) == XoSocketFrameIO::ReadStatus::Message;
        int passed = -1;
        if (XoSocketFrameIO::readFrame(fd, m, error, &passed) != XoSocketFrameIO::ReadStatus::Message)
            return false;
        if (m.type() == XoMessageType::UseSharedRing) {
            EXPECT_GE(passed, 0) << "an offer without its memory";
            if (passed >= 0) ring = XoSharedRing::attach(passed, m.field("capacity").toUInt64(), error);
            EXPECT_TRUE(ring) << error;
        } else if (passed >= 0) {
            ADD_FAILURE() << "a descriptor came with " << m.name();
            ::close(passed);
        }
        return true;
    }
    // Reads until a frame other than the ring's offer.
    bool readContent(XoRemoteRenderMessage& m)
    {
        while (read(m)) {
            if (m.type() != XoMessageType::UseSharedRing) return true;
        }
        return false;
    }
    int fd = -1;
    std::unique_ptr<XoSharedRing> ring;
};

class LocalSocket : public ::testing::Test
{
protected:
    void SetUp() override
    {
        xotest::ensureApplication();
        mainThread = std::this_thread::get_id();
        ASSERT_TRUE(sender.isServerRunning());
        ASSERT_FALSE(sender.channelName().empty());
    }
    Sender sender;
};

TEST_F(LocalSocket, MessagesReachTheViewerWholeAndInOrder)
{
    FakeViewer viewer(sender.channelName());
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.connects == 1; }));
    std::vector<float> positions(3 * 200000);
    for (std::size_t i = 0; i < positions.size(); ++i)
        positions[i] = float(i % 1000) - 0.5f;
    std::vector<std::int32_t> faces(200000 / 3 + 1, 3);
    faces.back() = 200000 - 3 * (int(faces.size()) - 1);
    // The writer blocks once the socket is full, so the viewer must read meanwhile.
    std::vector<std::string> lines;
    std::thread reader([&] {
        for (int i = 0; i < 3; ++i) {
            XoRemoteRenderMessage m;
            if (!viewer.read(m)) return;
            lines.push_back(
                m.type() == XoMessageType::AddMesh
                    ? std::string("addMesh ") + std::string(m.field("name").text()) + " " +
                          std::to_string(m.field("positions").size) +
                          (std::memcmp(m.field("positions").data, positions.data(), positions.size() * 4) == 0
                               ? " same"
                               : " differ")
                    : m.describe());
        }
    });
    sender.beginTransaction("t");
    sender.addMesh("big", "owner", "", positions.data(), nullptr, nullptr, nullptr, nullptr, faces.data(),
                   int(faces.size()), 200000, "M", "M");
    sender.endTransaction(false);
    reader.join();
    EXPECT_EQ(lines, (std::vector<std::string>{"beginTransaction name=\"t\"", "addMesh big 2400000 same",
                                               "endTransaction fullUpdate=false"}));
    EXPECT_TRUE(sender.isEntityValid("big", "owner"));
}

class LocalSocketOrRing : public LocalSocket, public ::testing::WithParamInterface<bool>
{
};

TEST_P(LocalSocketOrRing, ContentOfATransactionArrivesInOrderAroundCommandsAndLargeMeshes)
{
    FakeViewer viewer(sender.channelName());
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.connects == 1; }));
    if (GetParam()) viewer.askForRing(true);
    XoSocketFrameIO::reserveReceiveMemory(4u << 20);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<float> big(3 * 30000, 0.25f); // above what is copied into the batch
    std::vector<std::int32_t> bigFaces(10000, 3);
    // Larger than the shared ring: it streams through while the reader takes it out.
    std::vector<float> huge(3 * 1000000);
    for (std::size_t k = 0; k < huge.size(); ++k)
        huge[k] = float(k % 4099);
    std::vector<std::int32_t> hugeFaces(1000000 / 3, 3);
    hugeFaces.push_back(1);
    std::vector<float> small(3 * 300);
    std::vector<std::int32_t> smallFaces(100, 3);
    const int instances = 4000;

    std::vector<std::string> expected{"beginTransaction"};
    std::vector<std::shared_ptr<XoRemoteRenderMessage>> kept;
    std::thread reader([&] {
        for (;;) {
            auto m = std::make_shared<XoRemoteRenderMessage>();
            if (!viewer.readContent(*m)) return;
            kept.push_back(m);
            if (m->type() == XoMessageType::EndTransaction) return;
        }
    });
    sender.beginTransaction("t");
    for (int i = 0; i < instances; ++i) {
        const std::string name = "I" + std::to_string(i);
        sender.addInstance(name.c_str(), "owner", "", name.c_str(), identity, "");
        expected.push_back("addInstance " + name);
        if (i == 1000) {
            sender.sendConsoleCommand("stat fps");
            expected.push_back("sendConsoleCommand");
        }
        if (i == 2000) {
            sender.addMesh("big", "I2000", "", big.data(), nullptr, nullptr, nullptr, nullptr,
                           bigFaces.data(), int(bigFaces.size()), 30000, "M", "M");
            expected.push_back("addMesh big");
        }
        if (i == 3000) {
            sender.addMesh("huge", "I3000", "", huge.data(), nullptr, nullptr, nullptr, nullptr,
                           hugeFaces.data(), int(hugeFaces.size()), 1000000, "M", "M");
            expected.push_back("addMesh huge");
        }
        if (i % 500 == 0) {
            for (std::size_t k = 0; k < small.size(); ++k)
                small[k] = float(i) + float(k);
            const std::string mesh = "S" + std::to_string(i);
            sender.addMesh(mesh.c_str(), name.c_str(), "", small.data(), nullptr, nullptr, nullptr, nullptr,
                           smallFaces.data(), int(smallFaces.size()), 300, "M", "M");
            expected.push_back("addMesh " + mesh);
        }
    }
    sender.endTransaction(false);
    expected.push_back("endTransaction");
    reader.join();

    std::vector<std::string> arrived;
    for (const auto& m : kept) {
        std::string line = m->name();
        if (m->type() == XoMessageType::AddInstance || m->type() == XoMessageType::AddMesh)
            line += " " + std::string(m->field("name").text());
        arrived.push_back(line);
    }
    EXPECT_EQ(arrived, expected);
    EXPECT_EQ(bool(viewer.ring), GetParam());
    // Every message still holds its own bytes after all the others came in.
    for (const auto& m : kept) {
        if (m->type() == XoMessageType::AddMesh && m->field("name").text() == "huge") {
            const XoMessageField& positions = m->field("positions");
            ASSERT_EQ(positions.size, huge.size() * 4);
            EXPECT_EQ(std::memcmp(positions.data, huge.data(), positions.size), 0);
            continue;
        }
        if (m->type() != XoMessageType::AddMesh || m->field("name").text() == "big") continue;
        const int i = std::stoi(std::string(m->field("name").text()).substr(1));
        const XoMessageField& positions = m->field("positions");
        ASSERT_EQ(positions.size, small.size() * 4);
        std::vector<float> values(small.size());
        std::memcpy(values.data(), positions.data, positions.size);
        EXPECT_EQ(values.front(), float(i));
        EXPECT_EQ(values.back(), float(i) + float(small.size() - 1));
    }
}

INSTANTIATE_TEST_SUITE_P(LocalSocket, LocalSocketOrRing, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "ThroughTheSharedRing" : "ThroughTheSocket");
                         });

TEST_F(LocalSocket, TheSwitchToTheRingKeepsTheOrderAndAClosingViewerEndsIt)
{
    {
        FakeViewer viewer(sender.channelName());
        ASSERT_TRUE(
            viewer.send(XoRemoteRenderMessage(XoMessageType::ViewerStarted).addString("t").addInt(1)));
        ASSERT_TRUE(xotest::waitUntil([&] { return sender.inits == 1; }));
        // The request races with the commands: those sent before the offer come on the socket, the rest
        // through the ring, all in order.
        std::atomic<bool> switched{false};
        std::vector<std::string> arrived;
        std::thread reader([&] {
            XoRemoteRenderMessage m;
            while (viewer.readContent(m)) {
                switched = bool(viewer.ring);
                arrived.emplace_back(m.field("command").text());
                if (arrived.back() == "end") return;
            }
        });
        std::vector<std::string> expected;
        int afterSwitch = 0;
        for (int i = 0; afterSwitch < 100 && i < 1000000; ++i) {
            if (i == 10) viewer.askForRing(false);
            if (switched) ++afterSwitch;
            expected.push_back("c" + std::to_string(i));
            sender.sendConsoleCommand(expected.back().c_str());
            if (i % 100 == 0) std::this_thread::yield();
        }
        expected.push_back("end");
        sender.sendConsoleCommand("end");
        reader.join();
        EXPECT_EQ(arrived, expected);
        EXPECT_TRUE(switched);
        // The request is the transport's own business: the sender never hears of it.
        EXPECT_TRUE(sender.errors.empty());
    }
    // The viewer went away with its ring: the sender notices, and sending fails quietly.
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.exits == 1; }));
    sender.sendConsoleCommand("after");
    EXPECT_FALSE(sender.isViewerStarted());
}

TEST_F(LocalSocket, TheViewersAnswersArrive)
{
    FakeViewer viewer(sender.channelName());
    ASSERT_TRUE(viewer.send(XoRemoteRenderMessage(XoMessageType::ViewerStarted).addString("t").addInt(1)));
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.inits == 1; }));
    EXPECT_TRUE(sender.isViewerStarted());
    sender.getWindowHandle(&handleArrived);
    XoRemoteRenderMessage request;
    ASSERT_TRUE(viewer.read(request));
    EXPECT_EQ(request.type(), XoMessageType::GetWindowHandle);
    ASSERT_TRUE(viewer.send(XoRemoteRenderMessage(XoMessageType::WindowHandle).addUInt64(0x600012)));
    ASSERT_TRUE(xotest::waitUntil([] { return lastHandle == 0x600012u; }));
    EXPECT_TRUE(handleOnOwnThread);
}

TEST_F(LocalSocket, BadBytesEndTheConnectionAndANewViewerMayConnect)
{
    {
        FakeViewer viewer(sender.channelName());
        ASSERT_TRUE(
            viewer.send(XoRemoteRenderMessage(XoMessageType::ViewerStarted).addString("t").addInt(1)));
        ASSERT_TRUE(xotest::waitUntil([&] { return sender.inits == 1; }));
        const char garbage[] = "\x10\x00\x00\x00\x65\x00\x00\x00 not a frame at all";
        ::send(viewer.fd, garbage, sizeof garbage, MSG_NOSIGNAL);
        ASSERT_TRUE(xotest::waitUntil([&] { return sender.exits == 1; }));
        EXPECT_FALSE(sender.isViewerStarted());
        EXPECT_EQ(sender.disconnects, 1);
        ASSERT_FALSE(sender.errors.empty());
        EXPECT_NE(sender.errors.front().find("bad data from the viewer"), std::string::npos)
            << sender.errors.front();
        // The sender dropped its end: the stand-in reads the end of the stream.
        XoRemoteRenderMessage m;
        EXPECT_FALSE(viewer.read(m));
    }
    FakeViewer again(sender.channelName());
    ASSERT_TRUE(again.send(XoRemoteRenderMessage(XoMessageType::ViewerStarted).addString("t").addInt(2)));
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.inits == 2; }));
    EXPECT_TRUE(sender.isViewerStarted());
}

TEST_F(LocalSocket, AViewerThatClosesEndsTheSession)
{
    {
        FakeViewer viewer(sender.channelName());
        ASSERT_TRUE(
            viewer.send(XoRemoteRenderMessage(XoMessageType::ViewerStarted).addString("t").addInt(1)));
        ASSERT_TRUE(xotest::waitUntil([&] { return sender.inits == 1; }));
    }
    ASSERT_TRUE(xotest::waitUntil([&] { return sender.exits == 1; }));
    EXPECT_TRUE(sender.errors.empty()) << sender.errors.front();
    EXPECT_FALSE(sender.isViewerStarted());
    // Without a viewer, sending is dropped quietly and nothing is recorded as held.
    sender.addMaterial("M", "", "", 0, 1, "", "");
    EXPECT_FALSE(sender.isEntityValid("M", ""));
}

TEST_F(LocalSocket, AMissingExecutableIsReportedNotStarted)
{
    EXPECT_FALSE(sender.startRender(L"/nonexistent/zalViewer.exe", 0, 0, 10, 10, false));
    EXPECT_FALSE(sender.isProcessRunning());
    ASSERT_TRUE(xotest::waitUntil([&] { return !sender.errors.empty(); }));
    EXPECT_NE(sender.errors.front().find("not found"), std::string::npos);
}

TEST(LocalSocketChannel, EachSenderHasItsOwnChannel)
{
    xotest::ensureApplication();
    Sender a, b;
    EXPECT_NE(a.channelName(), b.channelName());
    std::string error;
    EXPECT_LT(XoLocalSocketMessagesManager::connectToChannel("no-such-channel-anywhere", error), 0);
    EXPECT_FALSE(error.empty());
}

} // namespace
