#include "XoSocketFrameIO.h"

#include "XoRemoteRenderMessage.h"
#include "XoSharedRing.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

// Large socket buffers let a 4 MiB mesh cross in a few system calls instead of hundreds.
constexpr int kSocketBuffer = 8 << 20;
// Below every kernel's IOV_MAX.
constexpr std::size_t kMaxPieces = 1024;
// A viewer that takes no byte for this long is considered hung.
constexpr int kSendTimeoutSeconds = 30;
// A frame announcing more than this gets its buffer in steps, as its bytes arrive.
constexpr std::size_t kTrustedFrame = 64u << 20;

// 0 = end of stream before anything, -1 = error (errno set), 1 = all bytes read. With `passedFd`, reads
// take ancillary data and keep a descriptor that comes along (closing any beyond the first).
int readAll(int fd, char* data, std::size_t size, std::size_t& got, int* passedFd = nullptr)
{
    got = 0;
    while (got < size) {
        ssize_t n = 0;
        if (passedFd) {
            iovec vec{data + got, size - got};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
            msghdr header{};
            header.msg_iov = &vec;
            header.msg_iovlen = 1;
            header.msg_control = control;
            header.msg_controllen = sizeof control;
            n = ::recvmsg(fd, &header, MSG_CMSG_CLOEXEC);
            for (cmsghdr* c = n > 0 ? CMSG_FIRSTHDR(&header) : nullptr; c; c = CMSG_NXTHDR(&header, c)) {
                if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
                const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (std::size_t i = 0; i < count; ++i) {
                    int passed = -1;
                    std::memcpy(&passed, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                    if (*passedFd < 0)
                        *passedFd = passed;
                    else
                        ::close(passed);
                }
            }
        } else {
            n = ::recv(fd, data + got, size - got, 0);
        }
        if (n > 0) {
            got += std::size_t(n);
        } else if (n == 0) {
            return 0;
        } else if (errno != EINTR) {
            return -1;
        }
    }
    return 1;
}

// Frame memory. Receiving writes every byte of a frame into memory the process has not touched before; in
// a virtual machine the first touch of each page costs a trip to the hypervisor, which made receiving
// meshes ten times slower than the socket itself. Frames up to kSlabFrameLimit therefore land side by side
// in 8 MiB slabs backed in one system call each, ahead of need where a thread keeps them warm (a slab goes
// back to the pool when the last frame in it goes), so a frame costs no allocation of its own; larger ones
// get mappings of their own, recycled through a pool. Slabs are backed with transparent huge pages where
// that is measured to be cheaper (see SlabPages).
constexpr std::size_t kSlab = 8u << 20;
// Half a frame is left unused at a slab's end on average: an eighth of a slab at most.
constexpr std::size_t kSlabFrameLimit = kSlab / 8;

std::size_t pageSize()
{
    static const std::size_t size = std::size_t(::sysconf(_SC_PAGESIZE));
    return size;
}

// Backs every page of [data, data + size) now.
void back(char* data, std::size_t size)
{
#ifdef MADV_POPULATE_WRITE
    // One system call rather than a fault per page, where the kernel offers it.
    if (::madvise(data, size, MADV_POPULATE_WRITE) == 0) return;
#endif
    for (std::size_t i = 0; i < size; i += pageSize())
        reinterpret_cast<volatile char*>(data)[i] = 0;
}

// size bytes (rounded up to whole pages), with `backed` every page backed now; null when the system has no
// memory left.
char* mapFresh(std::size_t& size, bool backed)
{
    size = (size + pageSize() - 1) & ~(pageSize() - 1);
    void* raw = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    char* data = static_cast<char*>(raw);
    if (backed) back(data, size);
    return data;
}

constexpr std::size_t kHugePage = 2u << 20;

std::uint64_t threadCpuNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::uint64_t(t.tv_sec) * 1000000000u + std::uint64_t(t.tv_nsec);
}

// A slab's kSlab bytes on a huge-page boundary, backed now, with huge pages asked for or refused; null when
// the system has no memory left.
char* mapSlab(bool huge)
{
    const std::size_t span = kSlab + kHugePage;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    char* start = static_cast<char*>(raw);
    char* data = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) &
                                         ~std::uintptr_t(kHugePage - 1));
    if (data > start) ::munmap(start, std::size_t(data - start));
    if (start + span > data + kSlab) ::munmap(data + kSlab, std::size_t(start + span - (data + kSlab)));
    // Refusing them matters too where huge pages are the default: backing one can stall.
    (void)::madvise(data, kSlab, huge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
    back(data, kSlab);
    return data;
}

// Slab `index` of lent memory, mapped and backed now (pages a previous viewer left there are only mapped,
// which costs a small part of backing fresh ones); null when that fails.
char* mapLentSlab(int fd, std::size_t index)
{
    void* raw = ::mmap(nullptr, kSlab, PROT_READ | PROT_WRITE, MAP_SHARED, fd, off_t(index * kSlab));
    if (raw == MAP_FAILED) return nullptr;
    char* data = static_cast<char*>(raw);
#ifdef MADV_POPULATE_WRITE
    if (::madvise(data, kSlab, MADV_POPULATE_WRITE) == 0) return data;
    if (errno != EINVAL) {
        // No memory for it: a touch would end in SIGBUS.
        ::munmap(data, kSlab);
        return nullptr;
    }
#endif
    for (std::size_t i = 0; i < kSlab; i += pageSize())
        reinterpret_cast<volatile char*>(data)[i] = 0;
    return data;
}

// Large frames: mappings of their own, kept for reuse up to a limit.
class BufferPool
{
public:
    static BufferPool& instance()
    {
        // Never destroyed: buffers may come back from threads that outlive static destruction.
        static BufferPool* pool = new BufferPool;
        return *pool;
    }

    char* take(std::size_t size, std::size_t& capacity)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto best = m_free.end();
            for (auto it = m_free.begin(); it != m_free.end(); ++it) {
                if (it->second >= size && (best == m_free.end() || it->second < best->second)) best = it;
            }
            if (best != m_free.end()) {
                char* data = best->first;
                capacity = best->second;
                m_pooledBytes -= capacity;
                m_free.erase(best);
                return data;
            }
        }
        capacity = size;
        // Backed as bytes arrive: a frame's announced length is not trusted with memory.
        char* data = mapFresh(capacity, false);
        if (!data) throw std::bad_alloc();
        return data;
    }

    void give(char* data, std::size_t capacity)
    {
        if (capacity <= kPooledMaximum) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_pooledBytes + capacity <= kPoolBytes) {
                m_free.emplace_back(data, capacity);
                m_pooledBytes += capacity;
                return;
            }
        }
        ::munmap(data, capacity);
    }

private:
    static constexpr std::size_t kPooledMaximum = 64u << 20;
    static constexpr std::size_t kPoolBytes = 128u << 20;
    std::mutex m_mutex;
    std::vector<std::pair<char*, std::size_t>> m_free;
    std::size_t m_pooledBytes = 0;
};

// Which pages slabs get. Huge pages are cleared about twice as fast as small ones and spare the copy into
// them most TLB misses, but only while the kernel has free ones at hand: otherwise backing one compacts
// memory or, in a virtual machine, waits for the hypervisor to back it afresh, tens of milliseconds per slab
// instead of two. So the thread that keeps spares warm tries them, timing its own processor time (which a
// stall counts and preemption does not), against the cheapest small-page slab seen, and the first huge
// slab that costs more turns them off for good. The reader, which the sender waits for, never backs huge
// pages itself unless a test forces them.
class SlabPages
{
public:
    using Kind = XoSocketFrameIO::SlabPages;

    Kind kind() const { return Kind(m_kind.load()); }

    void force(Kind kind)
    {
        m_forced = kind != Kind::Auto;
        m_kind = int(kind);
        m_smallNs = 0;
    }

    // Whether the next slab, backed by the reader or ahead of it, asks for huge pages.
    bool hugeFor(bool reader) const
    {
        const Kind now = kind();
        if (m_forced) return now == Kind::Huge;
        // Undecided, the first spare is backed with small pages to have something to compare with.
        return !reader && now != Kind::Small && m_smallNs.load() != 0;
    }

    // A slab backed in `ns` of processor time.
    void backed(bool huge, std::uint64_t ns)
    {
        if (huge) ++m_huge;
        if (m_forced) return;
        if (!huge) {
            std::uint64_t cheapest = m_smallNs.load();
            while ((cheapest == 0 || ns < cheapest) && !m_smallNs.compare_exchange_weak(cheapest, ns)) {
            }
            return;
        }
        ns += m_extraHugeNs.load();
        int undecided = int(Kind::Auto);
        if (ns > m_smallNs.load())
            m_kind = int(Kind::Small);
        else
            m_kind.compare_exchange_strong(undecided, int(Kind::Huge));
    }

    std::uint64_t hugeSlabs() const { return m_huge; }
    void addToHugeCost(std::uint64_t ns) { m_extraHugeNs = ns; }

private:
    std::atomic<int> m_kind{int(Kind::Auto)};
    std::atomic<bool> m_forced{false};
    std::atomic<std::uint64_t> m_smallNs{0}; // processor time of the cheapest small-page slab, 0 before one
    std::atomic<std::uint64_t> m_huge{0};
    std::atomic<std::uint64_t> m_extraHugeNs{0};
};

// Spare slabs, already backed: warmed ahead of need (reserveReceiveMemory, keepReceiveMemoryWarm) or given
// back by frames that are gone. The spares are memory the next frames land in, so keeping a few costs a
// fixed amount, not a share of the scene.
class SlabPool
{
public:
    static SlabPool& instance()
    {
        // Never destroyed, like the buffer pool.
        static SlabPool* pool = new SlabPool;
        return *pool;
    }

    char* take()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_taken;
            m_lastTake = std::chrono::steady_clock::now();
            if (!m_free.empty()) {
                char* data = m_free.back();
                m_free.pop_back();
                m_taken.notify();
                return data;
            }
        }
        m_taken.notify();
        const auto start = std::chrono::steady_clock::now();
        char* data = fresh(true);
        m_onDemandNs += std::uint64_t(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                .count());
        ++m_onDemand;
        return data;
    }

    // Slabs the reader backed itself because no spare was ready, and how long that took.
    std::atomic<std::uint64_t> m_onDemand{0}, m_onDemandNs{0};
    SlabPages m_pages;
    // How long lent spares beyond the usual wait unused before they go (see setIdleLentSpareLimit).
    std::atomic<std::chrono::milliseconds> m_lentIdleLimit{std::chrono::minutes(10)};

    void give(char* data)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto lent = m_lentIndex.find(data);
            if (m_free.size() < m_keep || (lent != m_lentIndex.end() && m_keepLent)) {
                m_free.push_back(data);
                return;
            }
            if (lent != m_lentIndex.end()) {
                returnLent(lent);
                return;
            }
        }
        ::munmap(data, kSlab);
    }

    // Slabs come from `fd` from now on; those with pages in them become spares (see lend in the header).
    bool lend(int fd, std::string& error)
    {
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || std::size_t(info.st_size) % kSlab != 0) {
            error = "the receive memory lent is not a file of whole slabs";
            ::close(fd);
            return false;
        }
        const std::size_t slabs = std::size_t(info.st_size) / kSlab;
        std::vector<std::size_t> backed, holes;
        for (std::size_t i = 0; i < slabs; ++i) {
            const off_t at = ::lseek(fd, off_t(i * kSlab), SEEK_DATA);
            (at >= 0 && std::size_t(at) < (i + 1) * kSlab ? backed : holes).push_back(i);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_lentFd >= 0) {
            error = "receive memory is lent already";
            ::close(fd);
            return false;
        }
        (void)::fcntl(fd, F_SETFD, FD_CLOEXEC);
        m_lentFd = fd;
        m_lentSlabs = slabs;
        // Taken from the back: the lowest slabs first, so a file that shrinks keeps what is used.
        m_lentBacked.assign(backed.rbegin(), backed.rend());
        m_lentHoles.assign(holes.rbegin(), holes.rend());
        m_keep = std::max(m_keep, backed.size());
        m_keepLent = false;
        return true;
    }

    // Slabs of lent memory mapped here, and those with pages waiting to be mapped.
    std::size_t lentSlabs()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto mapped = std::count_if(m_lentIndex.begin(), m_lentIndex.end(),
                                          [](const auto& lent) { return lent.second != kNotLent; });
        return std::size_t(mapped) + m_lentBacked.size();
    }

    // Slabs given back stay in lent memory from now on (the process is ending: the next viewer gets them).
    void keepLent()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_keepLent = true;
    }

    // Lends no more: spares are released, slabs still holding frames are unmapped once they go.
    void endLending()
    {
        release();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_lentFd < 0) return;
        // A mapping keeps its file: slabs still holding frames stay valid, and are only unmapped when they
        // go.
        for (auto& lent : m_lentIndex)
            lent.second = kNotLent;
        ::close(m_lentFd);
        m_lentFd = -1;
        m_keepLent = false;
        m_lentBacked.clear();
        m_lentHoles.clear();
        m_lentSlabs = 0;
    }

    // Keeps up to `slabs` spares and backs new ones until that many are spare; stops early once `stop`
    // turns true. With `follow`, goes on refilling as frames take spares until `stop`.
    void reserve(std::size_t slabs, const std::atomic<bool>* stop, bool follow)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_keep = std::max(m_keep, slabs);
        }
        std::uint64_t settled = 0; // takes seen when the spares were last backed
        bool lowered = false;
        for (;;) {
            if (stop && stop->load()) return;
            // Huge pages on, backing here spares the reader more than it costs: it keeps the caller's
            // priority, or at the lowest it falls behind on a busy machine. Small pages only move the cost.
            if (follow && !lowered && m_pages.kind() == XoSocketFrameIO::SlabPages::Small) {
                lowered = true;
                ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
            }
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (m_free.size() >= slabs && m_lentBacked.empty()) {
                    if (!follow) return;
                    if (m_free.size() > slabs && lentSparesIdle()) trimLentSpares(slabs);
                    // Woken by a take; the timeout only lets `stop` be seen.
                    m_taken.wait(lock, std::chrono::milliseconds(100));
                    continue;
                }
                // Backing small pages costs about as much processor time as receiving into them: while
                // frames keep coming, that time goes to the reader and the sender, and the spares come back
                // once the stream pauses. Huge pages measured cheap cost the reader less backed here.
                if (follow && m_taken.count != settled && m_lentBacked.empty() && !backAhead()) {
                    settled = m_taken.count;
                    if (m_taken.wait(lock, kQuiet)) continue;
                }
            }
            char* data = nullptr;
            try {
                data = fresh(false);
            } catch (const std::bad_alloc&) {
                return;
            }
            give(data);
        }
    }

    std::size_t spare()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_free.size();
    }

    // Drops the spares and keeps none (tests start afresh).
    void release()
    {
        std::vector<char*> spares;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_keep = 0;
            for (char* data : m_free) {
                const auto lent = m_lentIndex.find(data);
                if (lent != m_lentIndex.end())
                    returnLent(lent);
                else
                    spares.push_back(data);
            }
            m_free.clear();
        }
        for (char* data : spares)
            ::munmap(data, kSlab);
    }

private:
    bool backAhead() const { return m_pages.kind() == XoSocketFrameIO::SlabPages::Huge; }

    // Whether lent memory kept beyond the usual spares (what an earlier viewer held) has waited unused for
    // the idle limit. Under m_mutex.
    bool lentSparesIdle() const
    {
        return m_lentFd >= 0 && m_keep > 0 &&
               std::chrono::steady_clock::now() - m_lastTake >= m_lentIdleLimit.load();
    }

    // Keeps `slabs` spares: lent memory beyond them goes back to the system. Under m_mutex.
    void trimLentSpares(std::size_t slabs)
    {
        m_keep = slabs;
        for (std::size_t i = m_free.size(); i-- > 0 && m_free.size() > slabs;) {
            const auto lent = m_lentIndex.find(m_free[i]);
            if (lent == m_lentIndex.end()) continue;
            m_free.erase(m_free.begin() + std::ptrdiff_t(i));
            returnLent(lent);
        }
    }

    // A lent slab whose frames are gone, beyond the spares kept: its pages go back to the system and its
    // place in the file is taken again before the file grows. Under m_mutex.
    void returnLent(std::unordered_map<char*, std::size_t>::iterator lent)
    {
        char* data = lent->first;
        const std::size_t index = lent->second;
        m_lentIndex.erase(lent);
        ::munmap(data, kSlab);
        if (m_lentFd < 0 || index == kNotLent) return;
        (void)::fallocate(m_lentFd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(index * kSlab),
                          off_t(kSlab));
        m_lentHoles.push_back(index);
    }

    // A slab of lent memory: one with pages left in it, else a hole, else a new one at the file's end; null
    // when nothing is lent or the system has no memory for it.
    char* lentSlab()
    {
        std::size_t index = 0;
        int fd = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_lentFd < 0) return nullptr;
            fd = m_lentFd;
            if (!m_lentBacked.empty()) {
                index = m_lentBacked.back();
                m_lentBacked.pop_back();
            } else if (!m_lentHoles.empty()) {
                index = m_lentHoles.back();
                m_lentHoles.pop_back();
            } else {
                if (::ftruncate(fd, off_t((m_lentSlabs + 1) * kSlab)) != 0) return nullptr;
                index = m_lentSlabs++;
            }
        }
        char* data = mapLentSlab(fd, index);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!data) {
            if (fd == m_lentFd) m_lentHoles.push_back(index);
            return nullptr;
        }
        m_lentIndex.emplace(data, index);
        return data;
    }

    // Lent memory backs what the reader needs (fresh pages there cost what small ones of its own do, and
    // stay for the next viewer) and the spares once huge pages are off. While they are on, or still to be
    // measured, spares get huge pages of this process's own, as without lent memory: they are then cheaper
    // than anything to back, although the next viewer does not get them. Pages a previous viewer left in the
    // lent memory come first in any case.
    bool lentFirst(bool reader)
    {
        if (reader || m_pages.kind() == XoSocketFrameIO::SlabPages::Small) return true;
        std::lock_guard<std::mutex> lock(m_mutex);
        return !m_lentBacked.empty();
    }

    char* fresh(bool reader)
    {
        if (lentFirst(reader))
            if (char* lent = lentSlab()) return lent;
        const bool huge = m_pages.hugeFor(reader);
        const std::uint64_t start = threadCpuNs();
        char* data = mapSlab(huge);
        if (!data) throw std::bad_alloc();
        m_pages.backed(huge, threadCpuNs() - start);
        return data;
    }

    // A counter with a condition: takes wake the thread that keeps spares warm.
    struct Signal
    {
        std::condition_variable changed;
        std::uint64_t count = 0;
        void operator++() { ++count; }
        void notify() { changed.notify_all(); }
        // True when a take came within `timeout`.
        bool wait(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds timeout)
        {
            const std::uint64_t seen = count;
            return changed.wait_for(lock, timeout, [&] { return count != seen; });
        }
    };

    // How long the frames must pause before spares are backed again.
    static constexpr std::chrono::milliseconds kQuiet{25};
    std::mutex m_mutex;
    std::vector<char*> m_free;
    std::size_t m_keep = 0;
    Signal m_taken;
    // Lent memory: a file that outlives the process. Slab i is its bytes [i * kSlab, (i + 1) * kSlab).
    int m_lentFd = -1;
    std::size_t m_lentSlabs = 0;                        // the file's size in slabs
    std::vector<std::size_t> m_lentBacked;              // slabs with pages in them, not mapped yet
    std::vector<std::size_t> m_lentHoles;               // slabs without pages
    std::unordered_map<char*, std::size_t> m_lentIndex; // mapped slabs
    bool m_keepLent = false;
    std::chrono::steady_clock::time_point m_lastTake = std::chrono::steady_clock::now();
    static constexpr std::size_t kNotLent = ~std::size_t(0); // mapped from a file no longer lent
};

// One slab; frames are handed out front to back and share its ownership.
struct Slab
{
    char* data = nullptr;
    std::size_t used = 0;
    ~Slab()
    {
        if (data) SlabPool::instance().give(data);
    }
};

// Storage for a frame of size bytes, from the reading thread's current slab when it fits.
std::shared_ptr<char> slabStorage(std::size_t size)
{
    thread_local std::shared_ptr<Slab> current;
    const std::size_t aligned = (size + 15) & ~std::size_t(15);
    if (!current || current->used + aligned > kSlab) {
        auto slab = std::make_shared<Slab>();
        slab->data = SlabPool::instance().take();
        current = std::move(slab);
    }
    char* data = current->data + current->used;
    current->used += aligned;
    return std::shared_ptr<char>(current, data);
}

} // namespace

namespace {

// One frame through `readAll(data, size, got)`, which behaves as the socket's readAll above.
template <class ReadAll>
XoSocketFrameIO::ReadStatus readFrameWith(ReadAll&& readAll, XoRemoteRenderMessage& out, std::string& error)
{
    using ReadStatus = XoSocketFrameIO::ReadStatus;
    char header[XoRemoteRenderMessage::kHeaderSize];
    std::size_t got = 0;
    int status = readAll(header, sizeof header, got);
    // A peer that dies between frames resets the connection: that is an end, not bad data.
    if (got == 0 && (status == 0 || (status < 0 && errno == ECONNRESET))) return ReadStatus::Closed;
    if (status <= 0) {
        error = status < 0 ? std::string("read failed: ") + std::strerror(errno)
                           : "the stream ended inside a frame header";
        return ReadStatus::Error;
    }
    std::uint32_t payload = 0;
    std::uint32_t code = 0;
    std::memcpy(&payload, header, 4);
    std::memcpy(&code, header + 4, 4);
    if (payload > XoRemoteRenderMessage::kMaxPayload) {
        error = "frame length " + std::to_string(payload) + " exceeds the limit";
        return ReadStatus::Error;
    }
    if (!XoRemoteRenderMessage::isKnownType(code)) {
        error = "unknown message type " + std::to_string(code);
        return ReadStatus::Error;
    }
    const std::size_t total = XoRemoteRenderMessage::kHeaderSize + std::size_t(payload);
    if (total <= kSlabFrameLimit) {
        std::shared_ptr<char> storage = slabStorage(total);
        std::memcpy(storage.get(), header, sizeof header);
        status = readAll(storage.get() + sizeof header, total - sizeof header, got);
        if (status <= 0) {
            error = status < 0 ? std::string("read failed: ") + std::strerror(errno)
                               : "the stream ended inside a frame (" + std::to_string(sizeof header + got) +
                                     " of " + std::to_string(total) + " bytes)";
            return ReadStatus::Error;
        }
        if (!XoRemoteRenderMessage::decode(std::move(storage), total, out, error)) return ReadStatus::Error;
        return ReadStatus::Message;
    }
    BufferPool& pool = BufferPool::instance();
    std::size_t capacity = 0;
    // Uninitialised on purpose: zero-filling 4 MiB would cost as much as receiving it.
    char* buffer = pool.take(std::min(total, kTrustedFrame), capacity);
    std::memcpy(buffer, header, sizeof header);
    std::size_t filled = sizeof header;
    while (filled < total) {
        if (filled == capacity) {
            std::size_t grown = 0;
            char* bigger = pool.take(std::min(total, capacity * 2), grown);
            std::memcpy(bigger, buffer, filled);
            pool.give(buffer, capacity);
            buffer = bigger;
            capacity = grown;
        }
        status = readAll(buffer + filled, std::min(capacity, total) - filled, got);
        filled += got;
        if (status <= 0) {
            error = status < 0 ? std::string("read failed: ") + std::strerror(errno)
                               : "the stream ended inside a frame (" + std::to_string(filled) + " of " +
                                     std::to_string(total) + " bytes)";
            pool.give(buffer, capacity);
            return ReadStatus::Error;
        }
    }
    const std::size_t kept = capacity;
    std::shared_ptr<const char> storage(
        buffer, [kept](const char* data) { BufferPool::instance().give(const_cast<char*>(data), kept); });
    if (!XoRemoteRenderMessage::decode(std::move(storage), total, out, error)) return ReadStatus::Error;
    return ReadStatus::Message;
}

} // namespace

XoSocketFrameIO::ReadStatus XoSocketFrameIO::readFrame(int fd, XoRemoteRenderMessage& out, std::string& error,
                                                       int* passedFd)
{
    if (passedFd) *passedFd = -1;
    return readFrameWith([fd, passedFd](char* data, std::size_t size,
                                        std::size_t& got) { return readAll(fd, data, size, got, passedFd); },
                         out, error);
}

XoSocketFrameIO::ReadStatus XoSocketFrameIO::readFrame(XoSharedRing& ring, int fd, XoRemoteRenderMessage& out,
                                                       std::string& error)
{
    return readFrameWith([&ring, fd](char* data, std::size_t size,
                                     std::size_t& got) { return ring.read(data, size, got, fd); },
                         out, error);
}

namespace {

// Writes every byte the pieces name, in gathering writes of at most kMaxPieces pieces.
bool writePieces(int fd, std::vector<iovec>& vec, std::string& error, int passFd = -1)
{
    std::size_t first = 0;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    while (first < vec.size()) {
        msghdr header{};
        header.msg_iov = vec.data() + first;
        header.msg_iovlen = std::min<std::size_t>(vec.size() - first, kMaxPieces);
        if (passFd >= 0) {
            header.msg_control = control;
            header.msg_controllen = sizeof control;
            cmsghdr* c = CMSG_FIRSTHDR(&header);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(c), &passFd, sizeof(int));
        }
        const ssize_t n = ::sendmsg(fd, &header, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno == EAGAIN || errno == EWOULDBLOCK
                        ? std::string("the peer stopped reading")
                        : std::string("socket write failed: ") + std::strerror(errno);
            return false;
        }
        if (n > 0) passFd = -1; // it went with the first byte
        std::size_t left = std::size_t(n);
        while (first < vec.size() && left >= vec[first].iov_len) {
            left -= vec[first].iov_len;
            ++first;
        }
        if (left) {
            vec[first].iov_base = static_cast<char*>(vec[first].iov_base) + left;
            vec[first].iov_len -= left;
        }
    }
    return true;
}

bool fitsChannel(const XoRemoteRenderMessage& message, std::string& error)
{
    if (message.payloadSize() <= XoRemoteRenderMessage::kMaxPayload) return true;
    error = std::string(message.name()) + ": message too large for the channel";
    return false;
}

void appendPieces(std::vector<iovec>& vec, const XoRemoteRenderMessage& message)
{
    // Kept between frames, as the caller's vector: no allocation per message of a refresh.
    thread_local std::vector<XoRemoteRenderMessage::Piece> pieces;
    pieces.clear();
    message.appendFrame(pieces);
    for (const XoRemoteRenderMessage::Piece& piece : pieces)
        vec.push_back(iovec{const_cast<void*>(piece.data), piece.size});
}

} // namespace

bool XoSocketFrameIO::writeFrame(int fd, const XoRemoteRenderMessage& message, std::string& error, int passFd)
{
    if (!fitsChannel(message, error)) return false;
    std::vector<iovec> vec;
    appendPieces(vec, message);
    return writePieces(fd, vec, error, passFd);
}

bool XoSocketFrameIO::writeFrame(XoSharedRing& ring, int fd, const XoRemoteRenderMessage& message, bool wake,
                                 std::string& error)
{
    if (!fitsChannel(message, error)) return false;
    // Kept between frames: one per frame would be an allocation per mesh of a refresh.
    thread_local std::vector<iovec> vec;
    vec.clear();
    appendPieces(vec, message);
    return ring.write(vec.data(), vec.size(), fd, wake, error);
}

bool XoFrameBatch::add(int fd, const XoRemoteRenderMessage& message, std::string& error)
{
    if (!fitsChannel(message, error)) return false;
    if (XoRemoteRenderMessage::kHeaderSize + message.payloadSize() > kCopiedFrame)
        return flush(fd, &message, error);
    if (m_buffer.capacity() < kBufferLimit) m_buffer.reserve(kBufferLimit + kCopiedFrame);
    thread_local std::vector<XoRemoteRenderMessage::Piece> pieces;
    pieces.clear();
    message.appendFrame(pieces);
    for (const XoRemoteRenderMessage::Piece& piece : pieces) {
        const char* data = static_cast<const char*>(piece.data);
        m_buffer.insert(m_buffer.end(), data, data + piece.size);
    }
    return m_buffer.size() < kBufferLimit || flush(fd, nullptr, error);
}

bool XoFrameBatch::flush(int fd, const XoRemoteRenderMessage* message, std::string& error)
{
    if (message && !fitsChannel(*message, error)) return false;
    std::vector<iovec> vec;
    if (!m_buffer.empty()) vec.push_back(iovec{m_buffer.data(), m_buffer.size()});
    if (message) appendPieces(vec, *message);
    const bool written = vec.empty() || writePieces(fd, vec, error);
    m_buffer.clear();
    return written;
}

void XoSocketFrameIO::reserveReceiveMemory(std::size_t bytes, const std::atomic<bool>* stop)
{
    SlabPool::instance().reserve((bytes + kSlab - 1) / kSlab, stop, false);
}

void XoSocketFrameIO::keepReceiveMemoryWarm(std::size_t bytes, const std::atomic<bool>& stop)
{
    SlabPool::instance().reserve((bytes + kSlab - 1) / kSlab, &stop, true);
}

std::size_t XoSocketFrameIO::spareReceiveMemory()
{
    return SlabPool::instance().spare() * kSlab;
}

std::uint64_t XoSocketFrameIO::slabsBackedOnDemand()
{
    return SlabPool::instance().m_onDemand;
}

std::uint64_t XoSocketFrameIO::nsBackingOnDemand()
{
    return SlabPool::instance().m_onDemandNs;
}

void XoSocketFrameIO::tuneSocket(int fd)
{
    int size = kSocketBuffer;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    timeval timeout{kSendTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

void XoSocketFrameIO::setSlabPages(SlabPages pages)
{
    SlabPool::instance().m_pages.force(pages);
}

XoSocketFrameIO::SlabPages XoSocketFrameIO::slabPages()
{
    return SlabPool::instance().m_pages.kind();
}

std::uint64_t XoSocketFrameIO::hugePageSlabs()
{
    return SlabPool::instance().m_pages.hugeSlabs();
}

void XoSocketFrameIO::addToHugePageCostForTests(std::uint64_t ns)
{
    SlabPool::instance().m_pages.addToHugeCost(ns);
}

bool XoSocketFrameIO::useLentReceiveMemory(int fd, std::string& error)
{
    return SlabPool::instance().lend(fd, error);
}

std::size_t XoSocketFrameIO::lentReceiveMemory()
{
    return SlabPool::instance().lentSlabs() * kSlab;
}

void XoSocketFrameIO::setIdleLentSpareLimit(int milliseconds)
{
    SlabPool::instance().m_lentIdleLimit = std::chrono::milliseconds(milliseconds);
}

void XoSocketFrameIO::keepLentReceiveMemory()
{
    SlabPool::instance().keepLent();
}

void XoSocketFrameIO::endLentReceiveMemory()
{
    SlabPool::instance().endLending();
}

void XoSocketFrameIO::dropSpareReceiveMemory()
{
    SlabPool::instance().release();
}
