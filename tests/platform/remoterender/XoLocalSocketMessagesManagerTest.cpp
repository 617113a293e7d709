// The real transport with a stand-in viewer on the other end of the socket.
#include "XoLocalSocketMessagesManager.h"
#include "XoRemoteRenderMessage.h"
#include "XoRemoteRenderSenderFlattener.h"
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

// Plays the viewer: connects by channel name and reads or writes frames.
class FakeViewer
{
public:
    explicit FakeViewer(const std::string& channel)
    {
        std::string error;
        fd = XoLocalSocketMessagesManager::connectToChannel(channel, error);
        EXPECT_GE(fd, 0) << error;
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
    bool read(XoRemoteRenderMessage& m)
    {
        std::string error;
        return XoSocketFrameIO::readFrame(fd, m, error) == XoSocketFrameIO::ReadStatus::Message;
    }
    int fd = -1;
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
