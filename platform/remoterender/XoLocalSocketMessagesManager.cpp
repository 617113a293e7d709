#include "XoLocalSocketMessagesManager.h"

#include "XoInterProcessMessagesObserver.h"
#include "XoRemoteRenderMessage.h"
#include "XoSharedRing.h"
#include "XoSocketFrameIO.h"

#include <QByteArray>
#include <QString>
#include <QtDebug>

#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace {

std::atomic<int> channelCounter{0};

// Large enough that the viewer's reader rarely catches up with a refresh, small enough to stay warm.
constexpr std::size_t kRingBytes = 8u << 20;

socklen_t abstractAddress(const std::string& name, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // A leading zero byte puts the name in the abstract namespace: nothing on disk to clean up.
    const std::size_t length = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
}

std::string toLocal(const std::wstring& text)
{
    return QString::fromStdWString(text).toLocal8Bit().toStdString();
}

// Receive memory kept between viewers (see idleLentReceiveMemory). Whole slabs of the viewer's receive
// memory; the viewer grows the file and punches holes in it, the host only keeps it.
class LentMemory
{
public:
    static LentMemory& instance()
    {
        // Never destroyed: waiter threads give files back whenever their viewer ends.
        static LentMemory* lent = new LentMemory;
        return *lent;
    }

    // The idle file, or a new empty one; -1 when lending is off or no file can be made.
    int take()
    {
        if (qgetenv("ZAL_LEND_RECEIVE_MEMORY") == "0") return -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_idle >= 0) {
                const int fd = m_idle;
                m_idle = -1;
                return fd;
            }
        }
        return ::memfd_create("XoRemoteRender-receive", MFD_CLOEXEC);
    }

    // Keeps `fd` as the idle file, cut to the limit, unless one with more pages waits already.
    void giveBack(int fd)
    {
        if (fd < 0) return;
        const std::size_t limit = this->limit();
        struct stat info;
        if (::fstat(fd, &info) == 0 && std::size_t(info.st_size) > limit) (void)::ftruncate(fd, off_t(limit));
        int drop = fd;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_idle < 0 || held(fd) > held(m_idle)) {
                std::swap(drop, m_idle);
                m_idleSince = std::chrono::steady_clock::now();
            }
            // Lazily: a host that never starts a viewer runs no thread for it.
            if (!m_keeper) {
                m_keeper = true;
                std::thread([this] { keep(); }).detach();
            }
        }
        m_changed.notify_all();
        if (drop >= 0) ::close(drop);
    }

    void setIdleLimit(std::chrono::milliseconds limit)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_idleLimit = limit;
        }
        m_changed.notify_all();
    }

    std::size_t idleBytes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_idle >= 0 ? held(m_idle) : 0;
    }

    void drop()
    {
        int fd = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            std::swap(fd, m_idle);
        }
        if (fd >= 0) ::close(fd);
    }

private:
    // Gives the idle file back to the system once no viewer has taken it for the idle limit.
    void keep()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            if (m_idle < 0) {
                m_changed.wait(lock);
                continue;
            }
            const auto due = m_idleSince + m_idleLimit;
            if (std::chrono::steady_clock::now() < due) {
                m_changed.wait_until(lock, due);
                continue;
            }
            ::close(m_idle);
            m_idle = -1;
        }
    }

    static std::size_t held(int fd)
    {
        struct stat info;
        return ::fstat(fd, &info) == 0 ? std::size_t(info.st_blocks) * 512u : 0;
    }

    // An eighth of the physical memory, in whole 8 MiB slabs.
    static std::size_t limit()
    {
        const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGESIZE);
        const std::size_t eighth = pages > 0 && page > 0 ? std::size_t(pages) * std::size_t(page) / 8 : 0;
        return eighth & ~std::size_t((8u << 20) - 1);
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_idle = -1;
    std::chrono::steady_clock::time_point m_idleSince;
    std::chrono::milliseconds m_idleLimit{std::chrono::minutes(10)};
    bool m_keeper = false;
};

// Where a viewer finds its lent receive memory.
constexpr int kLentMemoryFd = 3;

// Shared with the detached waiter thread, which may outlive the transport.
struct ProcessWatch
{
    std::mutex mutex;
    XoInterProcessMessagesObserver* observer = nullptr;
    pid_t pid = 0;
    bool running = false;
};

} // namespace

class XoLocalSocketMessagesManagerPrivate
{
public:
    void run();
    void offerRing(int fd);
    void report(const std::string& text)
    {
        qWarning().noquote() << "XoRemoteRender:" << QString::fromStdString(text);
        if (observer) observer->channelError(1, text);
    }

    XoInterProcessMessagesObserver* observer = nullptr;
    std::string channel;
    int listenFd = -1;
    std::thread thread;
    std::atomic<bool> stopping{false};

    // The connection: the reader thread sets and clears it, send() writes through it.
    mutable std::mutex sendMutex;
    int connectionFd = -1;
    // Scene content of an open transaction waits here in small runs; anything else flushes it.
    XoFrameBatch batch;
    bool transactionOpen = false;
    // Once the viewer has taken it, every frame goes through the ring; the socket only wakes the reader.
    std::unique_ptr<XoSharedRing> ring;

    std::shared_ptr<ProcessWatch> process = std::make_shared<ProcessWatch>();
};

void XoLocalSocketMessagesManagerPrivate::run()
{
    while (!stopping) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (!stopping) report(std::string("accepting the viewer failed: ") + std::strerror(errno));
            return;
        }
        XoSocketFrameIO::tuneSocket(fd);
        {
            std::lock_guard<std::mutex> lock(sendMutex);
            connectionFd = fd;
            batch.clear();
            transactionOpen = false;
            ring.reset();
        }
        if (observer) observer->channelConnected();
        for (;;) {
            XoRemoteRenderMessage message;
            std::string error;
            const XoSocketFrameIO::ReadStatus status = XoSocketFrameIO::readFrame(fd, message, error);
            if (status == XoSocketFrameIO::ReadStatus::Message) {
                if (message.type() == XoMessageType::SharedRingRequest)
                    offerRing(fd);
                else if (observer)
                    observer->messageReceived(message);
                continue;
            }
            if (status == XoSocketFrameIO::ReadStatus::Error && !stopping)
                report("bad data from the viewer, closing its connection: " + error);
            break;
        }
        // Shut down first so a writer blocked on this socket returns before we take its lock.
        ::shutdown(fd, SHUT_RDWR);
        {
            std::lock_guard<std::mutex> lock(sendMutex);
            connectionFd = -1;
            batch.clear();
            ring.reset();
        }
        ::close(fd);
        if (observer) observer->channelDisconnected();
    }
}

void XoLocalSocketMessagesManagerPrivate::offerRing(int fd)
{
    std::string error;
    std::unique_ptr<XoSharedRing> offered = XoSharedRing::create(kRingBytes, error);
    if (!offered) {
        // The socket carries everything, as before.
        qWarning().noquote() << "XoRemoteRender: no shared ring for the viewer:"
                             << QString::fromStdString(error);
        return;
    }
    std::lock_guard<std::mutex> lock(sendMutex);
    if (connectionFd != fd || ring) return;
    XoRemoteRenderMessage offer(XoMessageType::UseSharedRing);
    offer.addUInt64(offered->capacity());
    // What waits in the batch goes first, on the socket; the viewer switches to the ring after the offer.
    if (!batch.flush(fd, nullptr, error) || !XoSocketFrameIO::writeFrame(fd, offer, error, offered->fd())) {
        qWarning().noquote() << "XoRemoteRender: offering the shared ring failed:"
                             << QString::fromStdString(error);
        ::shutdown(fd, SHUT_RDWR);
        return;
    }
    ring = std::move(offered);
}

XoLocalSocketMessagesManager::XoLocalSocketMessagesManager()
    : d(std::make_unique<XoLocalSocketMessagesManagerPrivate>())
{
}

XoLocalSocketMessagesManager::~XoLocalSocketMessagesManager()
{
    close();
}

void XoLocalSocketMessagesManager::setObserver(XoInterProcessMessagesObserver* observer)
{
    d->observer = observer;
    std::lock_guard<std::mutex> lock(d->process->mutex);
    d->process->observer = observer;
}

bool XoLocalSocketMessagesManager::listen(const std::string& hint)
{
    if (d->listenFd >= 0) return true;
    d->channel =
        "zalViewer-" + std::to_string(::getpid()) + "-" + hint + "-" + std::to_string(++channelCounter);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        d->report(std::string("cannot create the channel socket: ") + std::strerror(errno));
        return false;
    }
    sockaddr_un address;
    const socklen_t length = abstractAddress(d->channel, address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 2) != 0) {
        d->report("cannot listen on channel " + d->channel + ": " + std::strerror(errno));
        ::close(fd);
        return false;
    }
    d->listenFd = fd;
    d->stopping = false;
    d->thread = std::thread([this] { d->run(); });
    return true;
}

bool XoLocalSocketMessagesManager::isListening() const
{
    return d->listenFd >= 0 && !d->stopping;
}

std::string XoLocalSocketMessagesManager::channelName() const
{
    return d->channel;
}

bool XoLocalSocketMessagesManager::isConnected() const
{
    std::lock_guard<std::mutex> lock(d->sendMutex);
    return d->connectionFd >= 0;
}

bool XoLocalSocketMessagesManager::startProcess(const XoRenderProcessRequest& request)
{
    if (isProcessRunning()) {
        d->report("a viewer process already runs for this channel");
        return false;
    }
    const std::string program = toLocal(request.executable);
    struct stat info;
    if (program.empty() || ::stat(program.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        d->report("viewer executable not found: " + program);
        return false;
    }
    std::vector<std::string> args = {program, "--channel", d->channel};
    if (!request.workingFolder.empty()) {
        args.push_back("--workdir");
        args.push_back(toLocal(request.workingFolder));
    }
    args.push_back("--session-key");
    args.push_back(std::to_string(request.sessionKey));
    if (request.hasRectangle) {
        args.push_back("--rect");
        args.push_back(std::to_string(request.x) + "," + std::to_string(request.y) + "," +
                       std::to_string(request.width) + "," + std::to_string(request.height));
    }
    if (request.vr) args.push_back("--vr");
    // Whatever way the viewer ends, the waiter below takes the memory back for the next one.
    const int lent = LentMemory::instance().take();
    if (lent >= 0) {
        args.push_back("--receive-memory-fd");
        args.push_back(std::to_string(kLentMemoryFd));
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The viewer takes a large scene into its heap in one go; in transparent huge pages that costs a page
    // fault per 2 MiB instead of per 4 KiB (glibc reads the tunable at start; others ignore it).
    std::vector<std::string> env;
    bool tuned = false;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("GLIBC_TUNABLES=", 0) == 0) {
            if (entry.find("glibc.malloc.hugetlb") == std::string::npos) entry += ":glibc.malloc.hugetlb=1";
            tuned = true;
        }
        env.push_back(std::move(entry));
    }
    if (!tuned) env.push_back("GLIBC_TUNABLES=glibc.malloc.hugetlb=1");
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 clears close-on-exec on the copy (also where both numbers are the same, since glibc 2.29).
    if (lent >= 0) posix_spawn_file_actions_adddup2(&actions, lent, kLentMemoryFd);
    const int failed = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        LentMemory::instance().giveBack(lent);
        d->report("cannot start the viewer " + program + ": " + std::strerror(failed));
        return false;
    }
    std::shared_ptr<ProcessWatch> watch = d->process;
    {
        std::lock_guard<std::mutex> lock(watch->mutex);
        watch->pid = pid;
        watch->running = true;
    }
    // Detached: waitpid has no timeout, and the transport must not wait for the viewer to end.
    std::thread([watch, pid, lent] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        LentMemory::instance().giveBack(lent);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        XoInterProcessMessagesObserver* observer = nullptr;
        {
            std::lock_guard<std::mutex> lock(watch->mutex);
            watch->running = false;
            watch->pid = 0;
            observer = watch->observer;
            // The observer is called under the lock so close() cannot return in between.
            if (observer) observer->processExited(code);
        }
    }).detach();
    return true;
}

bool XoLocalSocketMessagesManager::isProcessRunning() const
{
    std::lock_guard<std::mutex> lock(d->process->mutex);
    return d->process->running;
}

long XoLocalSocketMessagesManager::processId() const
{
    std::lock_guard<std::mutex> lock(d->process->mutex);
    return d->process->pid;
}

bool XoLocalSocketMessagesManager::send(const XoRemoteRenderMessage& message)
{
    std::lock_guard<std::mutex> lock(d->sendMutex);
    if (d->connectionFd < 0) return false;
    std::string error;
    bool written = false;
    if (d->ring) {
        // Scene content of an open transaction may wait in the ring without waking the viewer.
        const XoMessageType type = message.type();
        if (type == XoMessageType::BeginTransaction) d->transactionOpen = true;
        if (type == XoMessageType::EndTransaction) d->transactionOpen = false;
        const bool wake = !(d->transactionOpen && (type == XoMessageType::BeginTransaction ||
                                                   XoRemoteRenderMessage::isSceneContent(type)));
        written = XoSocketFrameIO::writeFrame(*d->ring, d->connectionFd, message, wake, error);
    } else {
        switch (message.type()) {
        case XoMessageType::BeginTransaction:
            d->transactionOpen = true;
            written = d->batch.flush(d->connectionFd, &message, error);
            break;
        case XoMessageType::EndTransaction:
            d->transactionOpen = false;
            written = d->batch.flush(d->connectionFd, &message, error);
            break;
        default:
            written = d->transactionOpen && XoRemoteRenderMessage::isSceneContent(message.type())
                          ? d->batch.add(d->connectionFd, message, error)
                          : d->batch.flush(d->connectionFd, &message, error);
            break;
        }
    }
    if (written) return true;
    d->batch.clear();
    qWarning().noquote() << "XoRemoteRender: sending" << message.name()
                         << "failed:" << QString::fromStdString(error);
    // The reader sees the shut-down socket, reports the disconnection and clears the connection.
    ::shutdown(d->connectionFd, SHUT_RDWR);
    return false;
}

void XoLocalSocketMessagesManager::close()
{
    if (d->listenFd >= 0) {
        d->stopping = true;
        ::shutdown(d->listenFd, SHUT_RDWR);
        {
            std::lock_guard<std::mutex> lock(d->sendMutex);
            if (d->connectionFd >= 0) ::shutdown(d->connectionFd, SHUT_RDWR);
        }
        if (d->thread.joinable()) d->thread.join();
        ::close(d->listenFd);
        d->listenFd = -1;
    }
    std::lock_guard<std::mutex> lock(d->process->mutex);
    d->process->observer = nullptr;
}

std::size_t XoLocalSocketMessagesManager::idleLentReceiveMemory()
{
    return LentMemory::instance().idleBytes();
}

void XoLocalSocketMessagesManager::setIdleLentReceiveMemoryLimit(int milliseconds)
{
    LentMemory::instance().setIdleLimit(std::chrono::milliseconds(milliseconds));
}

void XoLocalSocketMessagesManager::dropIdleLentReceiveMemory()
{
    LentMemory::instance().drop();
}

int XoLocalSocketMessagesManager::connectToChannel(const std::string& channel, std::string& error)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return -1;
    }
    sockaddr_un address;
    const socklen_t length = abstractAddress(channel, address);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        error = "cannot connect to channel " + channel + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    XoSocketFrameIO::tuneSocket(fd);
    return fd;
}
