// Receiving frames: every size lands whole in its own memory, through the socket and through the shared
// ring, and stays whole while later frames reuse the memory of frames that are gone.
#include "XoSocketFrameIO.h"
#include "XoRemoteRenderMessage.h"
#include "XoSharedRing.h"
#include "XoTestSupport.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
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

// Whether the page holding `p` is mapped in this process.
bool mapped(const void* p)
{
    const std::uintptr_t page =
        reinterpret_cast<std::uintptr_t>(p) & ~std::uintptr_t(::sysconf(_SC_PAGESIZE) - 1);
    unsigned char resident = 0;
    return ::mincore(reinterpret_cast<void*>(page), 1, &resident) == 0;
}

// The huge pages backing the mapping that holds `p`, in KiB (-1 when no mapping holds it).
long anonHugeKiB(const void* p)
{
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<unsigned long>(p);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long low = 0, high = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &low, &high) == 2) {
            inside = low <= at && at < high;
            continue;
        }
        long kib = 0;
        if (inside && std::sscanf(line.c_str(), "AnonHugePages: %ld kB", &kib) == 1) return kib;
    }
    return -1;
}

// Whether the kernel gives transparent huge pages to mappings that ask for them.
bool hugePagesOffered()
{
    std::ifstream enabled("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(enabled, modes);
    return !modes.empty() && modes.find("[never]") == std::string::npos;
}

// Slabs get `pages` for the scope, with no spares and no pretended cost; measuring afresh afterwards.
struct ForcedSlabPages
{
    explicit ForcedSlabPages(XoSocketFrameIO::SlabPages pages)
    {
        XoSocketFrameIO::setSlabPages(pages);
        XoSocketFrameIO::dropSpareReceiveMemory();
    }
    ~ForcedSlabPages()
    {
        XoSocketFrameIO::addToHugePageCostForTests(0);
        XoSocketFrameIO::setSlabPages(XoSocketFrameIO::SlabPages::Auto);
        XoSocketFrameIO::dropSpareReceiveMemory();
    }
};

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

    // Frames received and held, each with the number and size it was sent with.
    struct Held
    {
        int number;
        std::size_t size;
        std::shared_ptr<XoRemoteRenderMessage> message;
    };
    // Sends frames [first, first + count) as sendFrames does and holds them in `held` as they arrive; stops
    // at the first that does not come.
    void transfer(int first, int count, std::vector<Held>& held, std::size_t size = 0)
    {
        std::thread writer = sendFrames(first, count, size);
        for (int i = first; i < first + count; ++i) {
            auto m = receive();
            if (!m) break;
            held.push_back({i, size ? size : kSizes[std::size_t(i) % kSizes.size()], std::move(m)});
        }
        writer.join();
    }
    // Every held frame still carries what was sent in it.
    static void expectWhole(const std::vector<Held>& held, const char* context)
    {
        for (const Held& h : held)
            EXPECT_TRUE(intact(*h.message, h.number, h.size)) << context << ", frame " << h.number;
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
    std::vector<Held> kept;
    transfer(1000, 40, kept, 900000);
    EXPECT_EQ(kept.size(), 40u);
    expectWhole(kept, "kept");
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

// Frames land the same in slabs of huge pages as of small ones, whether the slab was a spare or backed by the
// reader: every size, frames that fill a slab up to its end, all kept while later ones come; and slabs
// whose frames are all gone are unmapped beyond the spares kept.
TEST_P(FrameIO, FramesStayWholeInHugeAndSmallPageSlabsAndTheirMemoryGoesBack)
{
    using Pages = XoSocketFrameIO::SlabPages;
    int next = 3000;
    for (const Pages pages : {Pages::Huge, Pages::Small}) {
        const char* kind = pages == Pages::Huge ? "huge pages" : "small pages";
        ForcedSlabPages forced(pages);
        const std::uint64_t hugeBefore = XoSocketFrameIO::hugePageSlabs();
        XoSocketFrameIO::reserveReceiveMemory(16u << 20);
        ASSERT_EQ(XoSocketFrameIO::spareReceiveMemory(), 16u << 20) << kind;
        const std::uint64_t onDemandBefore = XoSocketFrameIO::slabsBackedOnDemand();
        // Every size twice over, then 60 frames of which nine fill a slab but for less than one more: about
        // 60 MiB in slabs, so the two spares and at least four slabs the reader backs itself.
        std::vector<Held> kept;
        const int mixed = 2 * int(kSizes.size());
        transfer(next, mixed, kept);
        next += mixed;
        transfer(next, 60, kept, 900000);
        next += 60;
        ASSERT_EQ(kept.size(), std::size_t(mixed + 60)) << kind;
        expectWhole(kept, kind);
        std::vector<const char*> slabbed;
        for (std::size_t i = std::size_t(mixed); i < kept.size(); ++i)
            slabbed.push_back(kept[i].message->field("data").data);
        const std::uint64_t huge = XoSocketFrameIO::hugePageSlabs() - hugeBefore;
        const std::uint64_t onDemand = XoSocketFrameIO::slabsBackedOnDemand() - onDemandBefore;
        EXPECT_GE(onDemand, 4u) << kind;
        if (pages == Pages::Huge) {
            EXPECT_EQ(huge, 2 + onDemand) << "slabs, spare or not, backed without huge pages asked for";
            // The last frames are in a slab the reader backed; a whole slab is four huge pages.
            if (hugePagesOffered()) {
                EXPECT_GE(anonHugeKiB(slabbed.back()), 4096) << "the kernel gave the slab no huge pages";
            }
        } else {
            EXPECT_EQ(huge, 0u) << "huge pages asked for with small ones forced";
            EXPECT_EQ(anonHugeKiB(slabbed.back()), 0);
        }
        for (const char* data : slabbed)
            ASSERT_TRUE(mapped(data));
        kept.clear();
        // Two spares kept, and the slab the reader is filling: at most 27 of the 60 frames' memory stays.
        std::size_t stays = 0;
        for (const char* data : slabbed)
            stays += mapped(data) ? 1 : 0;
        EXPECT_LE(stays, 27u) << kind << ": slabs of frames that are gone were kept";
        EXPECT_EQ(XoSocketFrameIO::spareReceiveMemory(), 16u << 20) << kind;
    }
}

// Left to measure, the reader never asks for huge pages itself: the slab it backs is one the sender is
// waiting for, and a huge page the kernel must first find can take tens of milliseconds.
TEST_P(FrameIO, TheReaderBacksSmallPagesUnlessHugeOnesAreForced)
{
    ForcedSlabPages measuring(XoSocketFrameIO::SlabPages::Auto);
    const std::uint64_t hugeBefore = XoSocketFrameIO::hugePageSlabs();
    const std::uint64_t onDemandBefore = XoSocketFrameIO::slabsBackedOnDemand();
    std::vector<Held> kept;
    transfer(4000, 30, kept, 900000);
    ASSERT_EQ(kept.size(), 30u);
    expectWhole(kept, "kept");
    EXPECT_GE(XoSocketFrameIO::slabsBackedOnDemand() - onDemandBefore, 2u);
    EXPECT_EQ(XoSocketFrameIO::hugePageSlabs(), hugeBefore);
    EXPECT_EQ(XoSocketFrameIO::slabPages(), XoSocketFrameIO::SlabPages::Auto)
        << "slabs the reader backed decided the kind";
}

// Bytes of `fd` that have pages behind them.
std::size_t pagesIn(int fd)
{
    struct stat info;
    return ::fstat(fd, &info) == 0 ? std::size_t(info.st_blocks) * 512u : 0;
}

std::size_t sizeOf(int fd)
{
    struct stat info;
    return ::fstat(fd, &info) == 0 ? std::size_t(info.st_size) : 0;
}

// Lent receive memory: slabs come from the shared file, a previous viewer's pages in it are taken before
// it grows, frames land whole in them over old bytes, and the file's pages follow the frames (given back
// beyond the spares) except once the process is ending.
TEST_P(FrameIO, FramesStayWholeInLentMemoryThatKeepsThePagesAViewerHeld)
{
    constexpr std::size_t kSlabBytes = 8u << 20;
    XoSocketFrameIO::dropSpareReceiveMemory();
    // What a previous viewer left: three slabs of pages full of other bytes, then a hole.
    const int file = ::memfd_create("lent-test", MFD_CLOEXEC);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::ftruncate(file, off_t(4 * kSlabBytes)), 0);
    const std::vector<char> old(3 * kSlabBytes, char(0x5a));
    ASSERT_EQ(::pwrite(file, old.data(), old.size(), 0), ssize_t(old.size()));
    std::string error;
    ASSERT_TRUE(XoSocketFrameIO::useLentReceiveMemory(::dup(file), error)) << error;
    struct EndLending
    {
        ~EndLending() { XoSocketFrameIO::endLentReceiveMemory(); }
    } endLending;
    EXPECT_EQ(XoSocketFrameIO::lentReceiveMemory(), 3 * kSlabBytes);

    // Asked for one spare, the three slabs with pages become spares and the file does not grow.
    XoSocketFrameIO::reserveReceiveMemory(kSlabBytes);
    EXPECT_EQ(XoSocketFrameIO::spareReceiveMemory(), 3 * kSlabBytes)
        << "the previous viewer's pages not taken";
    EXPECT_EQ(sizeOf(file), 4 * kSlabBytes);
    EXPECT_EQ(pagesIn(file), 3 * kSlabBytes);

    // Every size, then 60 frames nine to a slab: about 60 MiB, so the spares, the hole, then a larger file.
    int next = 5000;
    std::vector<Held> kept;
    const int mixed = 2 * int(kSizes.size());
    transfer(next, mixed, kept);
    next += mixed;
    transfer(next, 60, kept, 900000);
    ASSERT_EQ(kept.size(), std::size_t(mixed + 60));
    expectWhole(kept, "lent");
    EXPECT_GE(pagesIn(file), 60u * 900000u) << "frames did not land in the lent memory";
    // The first frames may fill what is left of the reader's slab from earlier frames.
    EXPECT_GE(sizeOf(file), 7 * kSlabBytes);
    EXPECT_EQ(pagesIn(file), XoSocketFrameIO::lentReceiveMemory())
        << "the file's pages are not the slabs mapped";

    // Frames gone, their slabs leave the file beyond the spares kept (the three taken over) and the slab
    // the reader is filling.
    kept.clear();
    EXPECT_LE(pagesIn(file), 4 * kSlabBytes) << "slabs of frames that are gone kept their pages";
    EXPECT_GE(pagesIn(file), 3 * kSlabBytes) << "the spares kept lost their pages";

    // Once the process is ending, frames that go leave their pages to the next viewer.
    // 60 frames: more slabs than the spares kept, so some would leave the file otherwise.
    transfer(next + 60, 60, kept, 900000);
    ASSERT_EQ(kept.size(), 60u);
    const std::size_t before = pagesIn(file);
    XoSocketFrameIO::keepLentReceiveMemory();
    kept.clear();
    EXPECT_EQ(pagesIn(file), before) << "an ending process gave back what it held";
    ::close(file);
}

// What an earlier, larger drawing left in lent memory is kept while slabs are taken, and given back to
// the system, down to the usual spares, once none has been taken for the idle limit; frames still held
// keep theirs.
TEST_P(FrameIO, LentMemoryBeyondTheUsualSparesGoesOnceIdle)
{
    constexpr std::size_t kSlabBytes = 8u << 20;
    xotest::ensureApplication();
    XoSocketFrameIO::dropSpareReceiveMemory();
    const int file = ::memfd_create("lent-idle-test", MFD_CLOEXEC);
    ASSERT_GE(file, 0);
    const std::vector<char> old(6 * kSlabBytes, char(0x33));
    ASSERT_EQ(::pwrite(file, old.data(), old.size(), 0), ssize_t(old.size()));
    std::string error;
    ASSERT_TRUE(XoSocketFrameIO::useLentReceiveMemory(::dup(file), error)) << error;
    struct Restore
    {
        ~Restore()
        {
            XoSocketFrameIO::setIdleLentSpareLimit(600000);
            XoSocketFrameIO::endLentReceiveMemory();
        }
    } restore;
    std::atomic<bool> stop{false};
    std::thread warm([&] { XoSocketFrameIO::keepReceiveMemoryWarm(kSlabBytes, stop); });
    ASSERT_TRUE(xotest::waitUntil([] { return XoSocketFrameIO::spareReceiveMemory() == 6 * kSlabBytes; }))
        << "the earlier drawing's pages were not all taken as spares";
    // Frames held in two slabs or so (the first may share the reader's slab from earlier frames).
    std::vector<Held> kept;
    transfer(6000, 16, kept, 900000);
    ASSERT_EQ(kept.size(), 16u);
    XoSocketFrameIO::setIdleLentSpareLimit(200);
    EXPECT_TRUE(xotest::waitUntil([] { return XoSocketFrameIO::spareReceiveMemory() == kSlabBytes; }))
        << "spares beyond the usual were kept for good: " << XoSocketFrameIO::spareReceiveMemory();
    // Two slabs of frames at most and the one spare keep their pages; the rest left the file.
    EXPECT_LE(pagesIn(file), 3 * kSlabBytes);
    expectWhole(kept, "held while spares went");
    stop = true;
    warm.join();
    ::close(file);
}

// While huge pages are on, spares keep them (memory of the process's own, cheaper than anything lent),
// and only what the reader backs itself goes into lent memory; once they are off, spares are lent too.
TEST_P(FrameIO, SparesComeFromLentMemoryOnlyWithHugePagesOff)
{
    constexpr std::size_t kSlabBytes = 8u << 20;
    using Pages = XoSocketFrameIO::SlabPages;
    int next = 7000;
    for (const Pages pages : {Pages::Huge, Pages::Small}) {
        const char* kind = pages == Pages::Huge ? "huge pages on" : "huge pages off";
        ForcedSlabPages forced(pages);
        const int file = ::memfd_create("lent-pages-test", MFD_CLOEXEC);
        ASSERT_GE(file, 0);
        std::string error;
        ASSERT_TRUE(XoSocketFrameIO::useLentReceiveMemory(::dup(file), error)) << error;
        struct EndLending
        {
            ~EndLending() { XoSocketFrameIO::endLentReceiveMemory(); }
        } endLending;
        XoSocketFrameIO::reserveReceiveMemory(2 * kSlabBytes);
        ASSERT_EQ(XoSocketFrameIO::spareReceiveMemory(), 2 * kSlabBytes) << kind;
        EXPECT_EQ(pagesIn(file), pages == Pages::Huge ? 0 : 2 * kSlabBytes) << kind << ": spares";
        // 40 frames nine to a slab: the two spares, then at least two slabs the reader backs itself.
        std::vector<Held> kept;
        transfer(next, 40, kept, 900000);
        next += 40;
        ASSERT_EQ(kept.size(), 40u) << kind;
        expectWhole(kept, kind);
        EXPECT_GE(pagesIn(file), (pages == Pages::Huge ? 2 : 4) * kSlabBytes)
            << kind << ": the slabs the reader backed are not in the lent memory";
        ::close(file);
    }
}

INSTANTIATE_TEST_SUITE_P(SocketOrRing, FrameIO, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Ring") : std::string("Socket");
                         });

} // namespace

// The thread keeping spares warm compares the first huge-page slab with a small-page one; once huge pages
// cost more (here pretended: a stall finding them), they stay off, even when later ones would be cheap.
TEST(SlabPages, HugePagesStayOffForGoodOnceASlabOfThemCostsMore)
{
    ForcedSlabPages measuring(XoSocketFrameIO::SlabPages::Auto);
    const std::uint64_t hugeBefore = XoSocketFrameIO::hugePageSlabs();
    XoSocketFrameIO::addToHugePageCostForTests(1000000000u);
    XoSocketFrameIO::reserveReceiveMemory(16u << 20);
    EXPECT_EQ(XoSocketFrameIO::slabPages(), XoSocketFrameIO::SlabPages::Small);
    EXPECT_EQ(XoSocketFrameIO::hugePageSlabs() - hugeBefore, 1u)
        << "the first spare is the small-page one to compare with, the second the huge-page try";
    XoSocketFrameIO::addToHugePageCostForTests(0);
    XoSocketFrameIO::dropSpareReceiveMemory();
    std::atomic<bool> stop{false};
    XoSocketFrameIO::reserveReceiveMemory(32u << 20, &stop);
    EXPECT_EQ(XoSocketFrameIO::spareReceiveMemory(), 32u << 20);
    EXPECT_EQ(XoSocketFrameIO::slabPages(), XoSocketFrameIO::SlabPages::Small);
    EXPECT_EQ(XoSocketFrameIO::hugePageSlabs() - hugeBefore, 1u) << "huge pages were tried again";
}
