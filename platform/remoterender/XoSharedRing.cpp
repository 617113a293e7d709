#include "XoSharedRing.h"

#include <linux/futex.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <new>

namespace {

constexpr std::uint64_t kMagic = 0x58'6f'52'69'6e'67'30'31ull; // "XoRing01"
// The writer wakes a sleeping reader on its own once this share of the ring waits unread.
constexpr std::size_t kWakeShare = 4;
// The first such wake of a run of content comes once this much waits: a long transaction then starts the
// reader at its first large frame instead of after a good part of the ring, while the few small frames of
// an edit still cost the single wake-up of the frame that ends them.
constexpr std::size_t kFirstWake = 64u << 10;

std::size_t pageSize()
{
    static const std::size_t size = std::size_t(::sysconf(_SC_PAGESIZE));
    return size;
}

// The shared word is an atomic in memory both processes map: futexes that are not process-private.
long futexWait(std::atomic<std::uint32_t>* word, std::uint32_t expected, int milliseconds)
{
    timespec timeout{milliseconds / 1000, long(milliseconds % 1000) * 1000000L};
    return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAIT, expected, &timeout,
                     nullptr, 0);
}

void futexWake(std::atomic<std::uint32_t>* word)
{
    ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

// Touches every page once from this process: in a virtual machine the first access to a page through a
// new mapping costs a trip to the hypervisor, which should happen now and not inside a refresh.
void touch(char* data, std::size_t size, bool write)
{
    for (std::size_t i = 0; i < size; i += pageSize()) {
        if (write)
            reinterpret_cast<volatile char*>(data)[i] = 0;
        else
            (void)reinterpret_cast<volatile char*>(data)[i];
    }
}

bool peerGone(int socket)
{
    pollfd p{socket, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

std::atomic<std::uint64_t> writerWaitCount{0}, writerWaitTotalNs{0}, writerBusyTotalNs{0}, writerWakeCount{0};

} // namespace

// The first page of the mapping. The counters only grow; their difference is what waits unread.
struct XoSharedRing::Shared
{
    std::uint64_t magic;
    std::uint64_t capacity;
    alignas(64) std::atomic<std::uint64_t> written;
    alignas(64) std::atomic<std::uint64_t> read;
    alignas(64) std::atomic<std::uint32_t> readerSleeping; // the reader waits on the socket for a byte
    std::atomic<std::uint32_t> writerSleeping;             // the writer waits on readProgress
    std::atomic<std::uint32_t> readProgress;               // futex word, bumped for a sleeping writer
};

static_assert(sizeof(std::atomic<std::uint64_t>) == 8 && std::atomic<std::uint64_t>::is_always_lock_free,
              "the ring's counters are shared between processes");

XoSharedRing::XoSharedRing(int fd, char* mapping, std::size_t mappingSize, std::size_t capacity)
    : m_fd(fd), m_mapping(mapping), m_mappingSize(mappingSize), m_capacity(capacity),
      m_shared(reinterpret_cast<Shared*>(mapping)), m_data(mapping + pageSize())
{
}

XoSharedRing::~XoSharedRing()
{
    if (m_mapping) ::munmap(m_mapping, m_mappingSize);
    if (m_fd >= 0) ::close(m_fd);
}

std::unique_ptr<XoSharedRing> XoSharedRing::create(std::size_t capacity, std::string& error)
{
    capacity = std::max(pageSize(), (capacity + pageSize() - 1) & ~(pageSize() - 1));
    const int fd = ::memfd_create("XoRemoteRender-ring", MFD_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot create shared memory: ") + std::strerror(errno);
        return nullptr;
    }
    const std::size_t size = pageSize() + capacity;
    if (::ftruncate(fd, off_t(size)) != 0) {
        error = std::string("cannot size shared memory: ") + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    void* mapping = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapping == MAP_FAILED) {
        error = std::string("cannot map shared memory: ") + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    char* bytes = static_cast<char*>(mapping);
    // Writing every page also makes tmpfs allocate it now; a ring that cannot be backed fails here with
    // SIGBUS rather than in the middle of a refresh, so ask the kernel first where it can answer.
#ifdef MADV_POPULATE_WRITE
    if (::madvise(bytes, size, MADV_POPULATE_WRITE) != 0 && errno != EINVAL) {
        error = std::string("cannot back shared memory: ") + std::strerror(errno);
        ::munmap(bytes, size);
        ::close(fd);
        return nullptr;
    }
#endif
    touch(bytes, size, true);
    Shared* shared = new (bytes) Shared;
    shared->magic = kMagic;
    shared->capacity = capacity;
    shared->written.store(0);
    shared->read.store(0);
    shared->readerSleeping.store(0);
    shared->writerSleeping.store(0);
    shared->readProgress.store(0);
    return std::unique_ptr<XoSharedRing>(new XoSharedRing(fd, bytes, size, capacity));
}

std::unique_ptr<XoSharedRing> XoSharedRing::attach(int fd, std::uint64_t capacity, std::string& error)
{
    struct stat info;
    const std::uint64_t size = pageSize() + capacity;
    if (::fstat(fd, &info) != 0 || capacity == 0 || capacity % pageSize() != 0 || capacity > (1ull << 40) ||
        std::uint64_t(info.st_size) != size) {
        error = "the shared ring offered does not match its size";
        ::close(fd);
        return nullptr;
    }
    void* mapping = ::mmap(nullptr, std::size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapping == MAP_FAILED) {
        error = std::string("cannot map the shared ring: ") + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    char* bytes = static_cast<char*>(mapping);
    const Shared* shared = reinterpret_cast<const Shared*>(bytes);
    if (shared->magic != kMagic || shared->capacity != capacity) {
        error = "the shared ring offered is not one";
        ::munmap(bytes, std::size_t(size));
        ::close(fd);
        return nullptr;
    }
    touch(bytes, std::size_t(size), false);
    return std::unique_ptr<XoSharedRing>(
        new XoSharedRing(fd, bytes, std::size_t(size), std::size_t(capacity)));
}

std::size_t XoSharedRing::pending() const
{
    return std::size_t(m_shared->written.load() - m_shared->read.load());
}

bool XoSharedRing::write(const iovec* pieces, std::size_t count, int socket, bool wake, std::string& error,
                         int timeoutSeconds)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point entered = Clock::now();
    std::uint64_t waitedNs = 0;
    Shared& s = *m_shared;
    std::uint64_t written = s.written.load(std::memory_order_relaxed);
    const auto wakeReader = [&](bool always) {
        if (!always) {
            const std::size_t waiting = std::size_t(written - s.read.load());
            const std::size_t later = m_capacity / kWakeShare;
            if (waiting < (m_firstWakeDone ? later : std::min(kFirstWake, later))) return;
            m_firstWakeDone = true;
        }
        if (s.readerSleeping.load() == 0 || s.readerSleeping.exchange(0) == 0) return;
        const char byte = 1;
        // A full socket already holds wake-ups the reader has not seen: nothing is lost.
        (void)::send(socket, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        ++writerWakeCount;
    };
    Clock::time_point waitingSince{};
    for (std::size_t p = 0; p < count; ++p) {
        const char* from = static_cast<const char*>(pieces[p].iov_base);
        std::size_t left = pieces[p].iov_len;
        while (left > 0) {
            std::size_t room = m_capacity - std::size_t(written - s.read.load(std::memory_order_acquire));
            if (room == 0) {
                // Publish what is written, make sure the reader is on it, then wait for it to make room.
                s.written.store(written);
                wakeReader(true);
                if (waitingSince == Clock::time_point{}) waitingSince = Clock::now();
                s.writerSleeping.store(1);
                const std::uint32_t progress = s.readProgress.load();
                if (written - s.read.load() == m_capacity) futexWait(&s.readProgress, progress, 50);
                s.writerSleeping.store(0);
                if (written - s.read.load() < m_capacity) {
                    const std::uint64_t ns = std::uint64_t(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - waitingSince)
                            .count());
                    ++writerWaitCount;
                    writerWaitTotalNs += ns;
                    waitedNs += ns;
                    waitingSince = Clock::time_point{};
                    continue;
                }
                if (peerGone(socket)) {
                    error = "the viewer went away";
                    return false;
                }
                if (Clock::now() - waitingSince > std::chrono::seconds(timeoutSeconds)) {
                    error = "the peer stopped reading";
                    return false;
                }
                continue;
            }
            const std::size_t at = std::size_t(written % m_capacity);
            const std::size_t n = std::min({left, room, m_capacity - at});
            std::memcpy(m_data + at, from, n);
            from += n;
            left -= n;
            written += n;
        }
    }
    // Sequentially consistent, as is the reader's going to sleep: one of the two sees the other.
    s.written.store(written);
    wakeReader(wake);
    // A frame that wakes the reader ends a run: the next one gets its early first wake again.
    if (wake) m_firstWakeDone = false;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - entered).count();
    writerBusyTotalNs += std::uint64_t(ns) - std::min(std::uint64_t(ns), waitedNs);
    return true;
}

std::uint64_t XoSharedRing::writerWaits()
{
    return writerWaitCount;
}

std::uint64_t XoSharedRing::writerWaitNs()
{
    return writerWaitTotalNs;
}

std::uint64_t XoSharedRing::writerBusyNs()
{
    return writerBusyTotalNs;
}

std::uint64_t XoSharedRing::writerWakeups()
{
    return writerWakeCount;
}

void XoSharedRing::wakeWriter()
{
    Shared& s = *m_shared;
    if (s.writerSleeping.load() == 0) return;
    s.readProgress.fetch_add(1);
    futexWake(&s.readProgress);
}

int XoSharedRing::read(char* data, std::size_t size, std::size_t& got, int socket)
{
    Shared& s = *m_shared;
    got = 0;
    std::uint64_t read = s.read.load(std::memory_order_relaxed);
    while (got < size) {
        // The writer's counter is trusted no further than the ring reaches.
        const std::size_t available =
            std::min<std::size_t>(std::size_t(s.written.load(std::memory_order_acquire) - read), m_capacity);
        if (available == 0) {
            s.readerSleeping.store(1);
            if (s.written.load() != read) {
                s.readerSleeping.store(0);
                continue;
            }
            pollfd p{socket, POLLIN, 0};
            const int ready = ::poll(&p, 1, -1);
            s.readerSleeping.store(0);
            if (ready < 0) {
                if (errno == EINTR) continue;
                return -1;
            }
            char bytes[64];
            for (;;) {
                const ssize_t n = ::recv(socket, bytes, sizeof bytes, MSG_DONTWAIT);
                if (n > 0) continue;
                if (n == 0) {
                    // The writer publishes before it closes: whatever it wrote is in the ring already.
                    if (s.written.load() != read) break;
                    return 0;
                }
                if (errno == EAGAIN || errno == EWOULDBLOCK) break;
                if (errno == EINTR) continue;
                if (s.written.load() != read) break;
                return errno == ECONNRESET ? 0 : -1;
            }
            continue;
        }
        const std::size_t at = std::size_t(read % m_capacity);
        const std::size_t n = std::min({size - got, available, m_capacity - at});
        std::memcpy(data + got, m_data + at, n);
        got += n;
        read += n;
        s.read.store(read);
        // A writer waiting for room is woken once a good part of the ring is free, not for every frame:
        // waking it for each few kilobytes cost both processes a system call and a switch per frame.
        if (m_capacity - std::size_t(s.written.load() - read) >= m_capacity / kWakeShare) wakeWriter();
    }
    return 1;
}
