// Receiving frames: every size lands whole in its own memory, through the socket and through the shared
// ring, and stays whole while later frames reuse the memory of frames that are gone.
#include "XoSocketFrameIO.h"
#include "XoRemoteRenderMessage.h"
#include "XoSharedRing.h"
#include "XoTestSupport.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// The bytes of frame i: a different sequence per frame, so a frame overwritten by another one, or
// shifted by a few bytes, does not read back the same.
std::vector<char> pattern(int i, std::size_t size)
{
    std::vector<char> bytes(size);
    std::uint32_t x = 2654435761u * std::uint32_t(i + 1);
    for (char& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = char(x >> 24);
    }
    return bytes;
}

bool intact(const XoRemoteRenderMessage& m, int i, std::size_t size)
{
    const XoMessageField& data = m.field("data");
    const std::vector<char> expected = pattern(i, size);
    return m.field("name").text() == std::to_string(i) && data.size == size &&
           std::equal(expected.begin(), expected.end(), data.data);
}

// Around the limits of the receive memory: small frames side by side, frames just under and over
// the largest that shares memory (1 MiB), and frames larger than the 1 MiB ring used below.
const std::vector<std::size_t> kSizes = {100, 4000, 600000, (1u << 20) - 64, (1u << 20) + 1000, 3000000};

class FrameIO : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        XoSocketFrameIO::tuneSocket(fds[0]);
        XoSocketFrameIO::tuneSocket(fds[1]);
        if (GetParam()) {
            std::string error;
            writerRing = XoSharedRing::create(1u << 20, error);
            ASSERT_TRUE(writerRing) << error;
            readerRing = XoSharedRing::attach(::dup(writerRing->fd()), writerRing->capacity(), error);
            ASSERT_TRUE(readerRing) << error;
        }
    }
    void TearDown() override
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }

    // Sends frames [first, first + count) from a thread of their own, frame i sized kSizes[i % 6] (or
    // `size` when given).
    std::thread sendFrames(int first, int count, std::size_t size = 0)
    {
        return std::thread([this, first, count, size] {
            for (int i = first; i < first + count; ++i) {
                const std::vector<char> bytes =
                    pattern(i, size ? size : kSizes[std::size_t(i) % kSizes.size()]);
                XoRemoteRenderMessage m(XoMessageType::SendMessage);
                m.addString(std::to_string(i)).addBytes(bytes.data(), bytes.size());
                std::string error;
                const bool sent = writerRing
                                      ? XoSocketFrameIO::writeFrame(*writerRing, fds[0], m, true, error)
                                      : XoSocketFrameIO::writeFrame(fds[0], m, error);
                if (!sent) {
                    ADD_FAILURE() << "frame " << i << ": " << error;
                    return;
                }
            }
        });
    }

    std::shared_ptr<XoRemoteRenderMessage> receive()
    {
        auto m = std::make_shared<XoRemoteRenderMessage>();
        std::string error;
        const XoSocketFrameIO::ReadStatus status =
            readerRing ? XoSocketFrameIO::readFrame(*readerRing, fds[1], *m, error)
                       : XoSocketFrameIO::readFrame(fds[1], *m, error);
        EXPECT_EQ(status, XoSocketFrameIO::ReadStatus::Message) << error;
        return status == XoSocketFrameIO::ReadStatus::Message ? m : nullptr;
    }

    int fds[2] = {-1, -1};
    std::unique_ptr<XoSharedRing> writerRing, readerRing;
};

TEST_P(FrameIO, FramesOfEverySizeStayWholeWhileLaterFramesReuseTheMemoryOfDroppedOnes)
{
    std::vector<std::pair<int, std::shared_ptr<XoRemoteRenderMessage>>> kept;
    int next = 0;
    // Three rounds of every size; every third frame is kept, the others go at once, so the memory
    // they lived in is handed to later frames while the kept ones still live beside them.
    for (int round = 0; round < 3; ++round) {
        const int count = 3 * int(kSizes.size());
        std::thread writer = sendFrames(next, count);
        for (int i = next; i < next + count; ++i) {
            auto m = receive();
            if (!m) break;
            EXPECT_TRUE(intact(*m, i, kSizes[std::size_t(i) % kSizes.size()]))
                << "frame " << i << " on arrival";
            if (i % 3 == 0) kept.emplace_back(i, std::move(m));
        }
        writer.join();
        next += count;
    }
    // A run of frames that are all dropped fills whole slabs that go back for reuse.
    std::thread writer = sendFrames(next, 60, 500000);
    for (int i = next; i < next + 60; ++i) {
        auto m = receive();
        if (!m) break;
        EXPECT_TRUE(intact(*m, i, 500000)) << "frame " << i << " on arrival";
    }
    writer.join();
    ASSERT_EQ(kept.size(), 18u);
    for (const auto& entry : kept)
        EXPECT_TRUE(intact(*entry.second, entry.first, kSizes[std::size_t(entry.first) % kSizes.size()]))
            << "kept frame " << entry.first << " changed after later frames";
}

TEST_P(FrameIO, SpareReceiveMemoryIsRefilledAsFramesTakeIt)
{
    xotest::ensureApplication();
    std::atomic<bool> stop{false};
    const std::size_t spare = 16u << 20;
    std::thread warm([&] { XoSocketFrameIO::keepReceiveMemoryWarm(spare, stop); });
    ASSERT_TRUE(xotest::waitUntil([&] { return XoSocketFrameIO::spareReceiveMemory() >= spare; }));
    // About 36 MiB of frames, all kept: more than the spare memory, so it is taken and must come back.
    std::thread writer = sendFrames(1000, 40, 900000);
    std::vector<std::shared_ptr<XoRemoteRenderMessage>> kept;
    for (int i = 1000; i < 1040; ++i) {
        auto m = receive();
        if (!m) break;
        EXPECT_TRUE(intact(*m, i, 900000)) << "frame " << i;
        kept.push_back(std::move(m));
    }
    writer.join();
    EXPECT_EQ(kept.size(), 40u);
    EXPECT_TRUE(xotest::waitUntil([&] { return XoSocketFrameIO::spareReceiveMemory() >= spare; }))
        << "spare receive memory stayed at " << XoSocketFrameIO::spareReceiveMemory();
    stop = true;
    warm.join();
}

// The count of slabs the reader backed itself is what the viewer's timing reports: it must count the slabs
// taken with no spare ready, and only those.
TEST_P(FrameIO, SlabsBackedByTheReaderAreThoseTakenWithNoSpare)
{
    XoSocketFrameIO::reserveReceiveMemory(16u << 20);
    const std::uint64_t spares = XoSocketFrameIO::spareReceiveMemory() / (8u << 20);
    ASSERT_GE(spares, 2u);
    const std::uint64_t before = XoSocketFrameIO::slabsBackedOnDemand();
    const std::uint64_t nsBefore = XoSocketFrameIO::nsBackingOnDemand();
    // About 100 MiB of frames, all kept, with nothing refilling the spares: nine to a slab, so twelve new
    // slabs, or eleven when the reader's slab from earlier frames has room for the first ones.
    const std::vector<char> payload = pattern(7, 900000);
    std::thread writer([&] {
        for (int i = 2000; i < 2108; ++i) {
            XoRemoteRenderMessage m(XoMessageType::SendMessage);
            m.addString(std::to_string(i)).addBytes(payload.data(), payload.size());
            std::string error;
            const bool sent = writerRing ? XoSocketFrameIO::writeFrame(*writerRing, fds[0], m, true, error)
                                         : XoSocketFrameIO::writeFrame(fds[0], m, error);
            if (!sent) {
                ADD_FAILURE() << "frame " << i << ": " << error;
                return;
            }
        }
    });
    std::vector<std::shared_ptr<XoRemoteRenderMessage>> kept;
    for (int i = 2000; i < 2108; ++i) {
        auto m = receive();
        if (!m) break;
        kept.push_back(std::move(m));
    }
    writer.join();
    ASSERT_EQ(kept.size(), 108u);
    for (int i = 0; i < 108; ++i) {
        const XoMessageField& data = kept[std::size_t(i)]->field("data");
        EXPECT_TRUE(kept[std::size_t(i)]->field("name").text() == std::to_string(2000 + i) &&
                    data.size == payload.size() && std::equal(payload.begin(), payload.end(), data.data))
            << "frame " << 2000 + i;
    }
    const std::uint64_t backed = XoSocketFrameIO::slabsBackedOnDemand() - before;
    const std::uint64_t taken = std::min<std::uint64_t>(spares, 11);
    EXPECT_GE(backed, 11 - taken) << "slabs backed by the reader went uncounted";
    EXPECT_LE(backed, 12 - taken) << "spares taken were counted as backed by the reader";
    if (backed > 0) {
        EXPECT_GT(XoSocketFrameIO::nsBackingOnDemand(), nsBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(SocketOrRing, FrameIO, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Ring") : std::string("Socket");
                         });

} // namespace
