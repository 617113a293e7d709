#include "XoSocketFrameIO.h"

#include "XoRemoteRenderMessage.h"
#include "XoSharedRing.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
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
// a virtual machine that shadows the guest's page tables, the first touch of each 4 KiB page costs a trip
// to the hypervisor, which made receiving meshes ten times slower than the socket itself. Frames therefore
// land in memory advised for 2 MiB pages: small frames side by side in shared 2 MiB arenas (an arena goes
// when the last frame in it goes), large ones in mappings of their own, recycled through a pool.
constexpr std::size_t kHugePage = 2u << 20;
constexpr std::size_t kArenaFrameLimit = 256u << 10;

std::size_t pageSize()
{
    static const std::size_t size = std::size_t(::sysconf(_SC_PAGESIZE));
    return size;
}

// size bytes (rounded up to whole pages) starting on a 2 MiB boundary, advised for huge pages; null when
// the system has no memory left.
char* mapAligned(std::size_t& size)
{
    size = (size + pageSize() - 1) & ~(pageSize() - 1);
    const std::size_t span = size + kHugePage;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const std::uintptr_t begin = std::uintptr_t(raw);
    const std::uintptr_t aligned = (begin + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    if (aligned > begin) ::munmap(raw, aligned - begin);
    const std::uintptr_t end = begin + span;
    if (end > aligned + size) ::munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
#ifdef MADV_HUGEPAGE
    // Advice only: without transparent huge pages this is ordinary memory.
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<char*>(aligned);
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
        char* data = mapAligned(capacity);
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

// Spare 2 MiB arenas: warmed ahead of need (reserveReceiveMemory) or given back by frames that are gone.
// Memory a process touches for the first time can cost more than the bytes written into it, so arenas
// are reused rather than unmapped, up to the reserved amount.
class ArenaPool
{
public:
    static ArenaPool& instance()
    {
        // Never destroyed, like the buffer pool.
        static ArenaPool* pool = new ArenaPool;
        return *pool;
    }

    char* take()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_free.empty()) {
                char* data = m_free.back();
                m_free.pop_back();
                return data;
            }
        }
        std::size_t size = kHugePage;
        char* data = mapAligned(size);
        if (!data) throw std::bad_alloc();
        return data;
    }

    void give(char* data)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_free.size() < m_keep) {
                m_free.push_back(data);
                return;
            }
        }
        ::munmap(data, kHugePage);
    }

    // Keeps up to `arenas` spare arenas and warms new ones until that many are spare; stops early when
    // `stop` turns true.
    void reserve(std::size_t arenas, const std::atomic<bool>* stop)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_keep = std::max(m_keep, arenas);
        }
        for (;;) {
            if (stop && stop->load()) return;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_free.size() >= arenas) return;
            }
            std::size_t size = kHugePage;
            char* data = mapAligned(size);
            if (!data) return;
            touch(data, size);
            give(data);
        }
    }

private:
    static void touch(char* data, std::size_t size)
    {
#ifdef MADV_POPULATE_WRITE
        if (::madvise(data, size, MADV_POPULATE_WRITE) == 0) return;
#endif
        for (std::size_t i = 0; i < size; i += pageSize())
            reinterpret_cast<volatile char*>(data)[i] = 0;
    }

    std::mutex m_mutex;
    std::vector<char*> m_free;
    std::size_t m_keep = 0;
};

// One 2 MiB arena; frames are handed out front to back and share its ownership.
struct Arena
{
    char* data = nullptr;
    std::size_t used = 0;
    ~Arena()
    {
        if (data) ArenaPool::instance().give(data);
    }
};

// Storage for a frame of size bytes, from the reading thread's current arena when it fits.
std::shared_ptr<char> arenaStorage(std::size_t size)
{
    thread_local std::shared_ptr<Arena> current;
    const std::size_t aligned = (size + 15) & ~std::size_t(15);
    if (!current || current->used + aligned > kHugePage) {
        auto arena = std::make_shared<Arena>();
        arena->data = ArenaPool::instance().take();
        current = std::move(arena);
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
    if (total <= kArenaFrameLimit) {
        std::shared_ptr<char> storage = arenaStorage(total);
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
    for (const XoRemoteRenderMessage::Piece& piece : message.frame())
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
    for (const XoRemoteRenderMessage::Piece& piece : message.frame()) {
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
    ArenaPool::instance().reserve((bytes + kHugePage - 1) / kHugePage, stop);
}

void XoSocketFrameIO::tuneSocket(int fd)
{
    int size = kSocketBuffer;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    timeval timeout{kSendTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}
