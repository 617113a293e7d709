// The shared ring between two threads over a real socket pair (the two ends of the channel in one
// process: the ring's memory is the same either way).
#include "XoSharedRing.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <random>
#include <thread>
#include <vector>

namespace {

class SharedRing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        std::string error;
        writer = XoSharedRing::create(capacity, error);
        ASSERT_TRUE(writer) << error;
        ASSERT_EQ(writer->capacity(), capacity);
        reader = XoSharedRing::attach(::dup(writer->fd()), capacity, error);
        ASSERT_TRUE(reader) << error;
    }
    void TearDown() override
    {
        for (int& fd : fds) {
            if (fd >= 0) ::close(fd);
        }
    }
    bool write(const std::vector<char>& bytes, bool wake, int timeoutSeconds = 30)
    {
        const iovec piece{const_cast<char*>(bytes.data()), bytes.size()};
        lastError.clear();
        return writer->write(&piece, 1, fds[0], wake, lastError, timeoutSeconds);
    }

    static constexpr std::size_t kCapacity = 4096 * 4;
    std::size_t capacity = kCapacity;
    int fds[2] = {-1, -1}; // [0] the writer's socket, [1] the reader's
    std::unique_ptr<XoSharedRing> writer;
    std::unique_ptr<XoSharedRing> reader;
    std::string lastError;
};

std::vector<char> block(std::size_t size, std::uint32_t seed)
{
    std::vector<char> bytes(size);
    std::minstd_rand random(seed + 1);
    for (char& c : bytes)
        c = char(random());
    return bytes;
}

TEST_F(SharedRing, BlocksOfEverySizeCrossInOrderWhileTheRingWrapsAndFills)
{
    // Sizes from one byte to several times the ring; most writes do not wake, so the reader also has to
    // be woken when the writer waits for room.
    std::vector<std::size_t> sizes;
    std::minstd_rand random(7);
    for (int i = 0; i < 400; ++i)
        sizes.push_back(i % 50 == 0 ? kCapacity * 3 + 17 : 1 + random() % 9000);
    std::vector<std::string> faults;
    std::thread consumer([&] {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            std::vector<char> bytes(sizes[i]);
            std::size_t got = 0;
            if (reader->read(bytes.data(), bytes.size(), got, fds[1]) != 1 || got != sizes[i]) {
                faults.push_back("block " + std::to_string(i) + " cut short");
                return;
            }
            if (bytes != block(sizes[i], std::uint32_t(i)))
                faults.push_back("block " + std::to_string(i) + " differs");
        }
    });
    for (std::size_t i = 0; i < sizes.size(); ++i)
        ASSERT_TRUE(write(block(sizes[i], std::uint32_t(i)), i % 7 == 0)) << lastError;
    // The last block went without a wake-up request: the reader must still get it.
    ASSERT_TRUE(write({}, true));
    consumer.join();
    EXPECT_TRUE(faults.empty()) << faults.front();
    EXPECT_EQ(writer->pending(), 0u);
}

// The benchmark reports how often the host waited for the viewer's reader: only a full ring counts.
TEST_F(SharedRing, WaitsForRoomAreCountedOnlyWhenTheRingIsFull)
{
    const std::uint64_t waits = XoSharedRing::writerWaits();
    const std::uint64_t waitNs = XoSharedRing::writerWaitNs();
    ASSERT_TRUE(write(block(kCapacity / 2, 1), true));
    ASSERT_TRUE(write(block(kCapacity / 4, 2), false));
    EXPECT_EQ(XoSharedRing::writerWaits(), waits) << "writes that found room were counted";
    bool written = false;
    std::thread producer([&] { written = write(block(3 * kCapacity, 3), true); });
    // Read only once the writer has filled the ring and must wait.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (writer->pending() < kCapacity && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(writer->pending(), kCapacity);
    std::vector<char> bytes(3 * kCapacity + kCapacity / 2 + kCapacity / 4);
    std::size_t got = 0;
    EXPECT_EQ(reader->read(bytes.data(), bytes.size(), got, fds[1]), 1);
    producer.join();
    EXPECT_TRUE(written) << lastError;
    EXPECT_GE(XoSharedRing::writerWaits(), waits + 1);
    EXPECT_GT(XoSharedRing::writerWaitNs(), waitNs);
}

TEST_F(SharedRing, TheReaderTakesWhatWasWrittenBeforeTheEndThenSeesTheEnd)
{
    ASSERT_TRUE(write(block(100, 1), false));
    ::shutdown(fds[0], SHUT_WR);
    std::vector<char> bytes(100);
    std::size_t got = 0;
    EXPECT_EQ(reader->read(bytes.data(), bytes.size(), got, fds[1]), 1);
    EXPECT_EQ(bytes, block(100, 1));
    EXPECT_EQ(reader->read(bytes.data(), 1, got, fds[1]), 0);
    EXPECT_EQ(got, 0u);
    // An end inside a block counts what came.
    TearDown();
    SetUp();
    ASSERT_TRUE(write(block(10, 2), true));
    ::shutdown(fds[0], SHUT_WR);
    EXPECT_EQ(reader->read(bytes.data(), 50, got, fds[1]), 0);
    EXPECT_EQ(got, 10u);
}

TEST_F(SharedRing, AWriterStopsWhenTheReaderIsGoneOrStopsReading)
{
    // A reader that never reads: the writer gives up after its timeout.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(write(block(kCapacity + 1, 3), false, 1));
    EXPECT_NE(lastError.find("stopped reading"), std::string::npos) << lastError;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    // A reader whose end of the socket is closed: the writer notices without waiting for the timeout.
    ::close(fds[1]);
    fds[1] = -1;
    EXPECT_FALSE(write(block(kCapacity, 4), false, 30));
    EXPECT_NE(lastError.find("went away"), std::string::npos) << lastError;
}

TEST_F(SharedRing, OnlyARingOfTheOfferedSizeIsTaken)
{
    std::string error;
    EXPECT_FALSE(XoSharedRing::attach(::dup(writer->fd()), kCapacity * 2, error));
    EXPECT_NE(error.find("size"), std::string::npos) << error;
    // Shared memory of the right size that is not a ring.
    const int other = ::memfd_create("not-a-ring", MFD_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::ftruncate(other, off_t(::sysconf(_SC_PAGESIZE) + kCapacity)), 0);
    error.clear();
    EXPECT_FALSE(XoSharedRing::attach(other, kCapacity, error));
    EXPECT_NE(error.find("not one"), std::string::npos) << error;
    // A socket is no shared memory at all.
    error.clear();
    EXPECT_FALSE(XoSharedRing::attach(::dup(fds[0]), kCapacity, error));
    EXPECT_FALSE(error.empty());
}

// A ring of the channel's size, whose reader sleeps on the socket between runs of frames.
class LargeSharedRing : public SharedRing
{
protected:
    void SetUp() override
    {
        capacity = 8u << 20;
        SharedRing::SetUp();
    }

    // Reads `size` bytes on a thread of its own; the future says whether they came whole.
    std::future<bool> readOnThread(std::size_t size)
    {
        readerTid = 0;
        return std::async(std::launch::async, [this, size] {
            readerTid = long(::syscall(SYS_gettid));
            std::vector<char> bytes(size);
            std::size_t got = 0;
            return reader->read(bytes.data(), size, got, fds[1]) == 1 && got == size;
        });
    }

    // True once the reading thread sleeps (it sleeps only on the socket, with nothing to read).
    bool readerAsleep()
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < limit) {
            if (const long tid = readerTid.load()) {
                std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
                std::string line;
                std::getline(stat, line);
                const std::size_t end = line.rfind(')');
                if (end != std::string::npos && end + 2 < line.size() && line[end + 2] == 'S') return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // Ends a run whose frames were not all taken, so a reader left waiting finishes, and says whether the
    // reader had got its bytes on its own within a generous time.
    bool finish(std::future<bool>& reading)
    {
        const bool onItsOwn = reading.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        if (!onItsOwn) write({}, true);
        return onItsOwn && reading.get();
    }

    std::atomic<long> readerTid{0};
};

// Content of a long transaction is written without waking the reader; the reader must still start at the
// first large frame, not after a quarter of the ring (2 MiB here), while small frames wake nobody.
TEST_F(LargeSharedRing, ARunWakesASleepingReaderOnceAFrameOfContentWaitsAndLaterOnlyForMuchMore)
{
    const std::size_t frame = 40u << 10;
    std::future<bool> reading = readOnThread(2 * frame);
    ASSERT_TRUE(readerAsleep());
    const std::uint64_t wakes = XoSharedRing::writerWakeups();
    ASSERT_TRUE(write(block(frame, 1), false)) << lastError;
    EXPECT_EQ(XoSharedRing::writerWakeups(), wakes) << "a small frame woke the reader";
    ASSERT_TRUE(write(block(frame, 2), false)) << lastError;
    EXPECT_EQ(XoSharedRing::writerWakeups(), wakes + 1);
    EXPECT_TRUE(finish(reading)) << "the reader was not woken for the run's first 80 KiB";

    // The same run goes on: a sleeping reader now waits for a good part of the ring.
    reading = readOnThread(3 * frame);
    ASSERT_TRUE(readerAsleep());
    for (std::uint32_t i = 0; i < 3; ++i)
        ASSERT_TRUE(write(block(frame, 3 + i), false)) << lastError;
    EXPECT_EQ(XoSharedRing::writerWakeups(), wakes + 1) << "every large frame woke the reader";
    ASSERT_TRUE(write({}, true));
    EXPECT_EQ(XoSharedRing::writerWakeups(), wakes + 2);
    EXPECT_TRUE(reading.get());

    // A frame that wakes ends the run: the next run's first large frame wakes again.
    reading = readOnThread(3 * frame);
    ASSERT_TRUE(readerAsleep());
    ASSERT_TRUE(write(block(3 * frame, 6), false)) << lastError;
    EXPECT_EQ(XoSharedRing::writerWakeups(), wakes + 3);
    EXPECT_TRUE(finish(reading)) << "the next run did not wake the reader early";
}

} // namespace
