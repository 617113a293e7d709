#include "zalViewerChannel.h"

#include "XoLocalSocketMessagesManager.h"
#include "XoRemoteRenderMessage.h"
#include "XoSharedRing.h"
#include "XoSocketFrameIO.h"

#include <QtDebug>

#include <chrono>
#include <ctime>

#include <sys/socket.h>
#include <unistd.h>

zalViewerChannel::zalViewerChannel(QObject* parent) : QObject(parent)
{
    if (qEnvironmentVariableIsSet("ZAL_VIEWER_TIMING")) m_timing = std::make_unique<Timing>();
}

std::int64_t zalViewerChannel::steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t zalViewerChannel::threadCpuNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void zalViewerChannel::noteRead(const XoRemoteRenderMessage& message)
{
    const std::int64_t now = steadyNs();
    switch (message.type()) {
    case XoMessageType::BeginTransaction:
        m_timing->begin = now;
        m_timing->beginCpu = threadCpuNs();
        m_timing->firstContent = 0;
        m_timing->lastContent = 0;
        m_timing->frames = 0;
        break;
    case XoMessageType::EndTransaction:
        m_timing->end = now;
        m_timing->endCpu = threadCpuNs();
        break;
    default:
        if (!XoRemoteRenderMessage::isSceneContent(message.type())) break;
        if (m_timing->firstContent == 0) m_timing->firstContent = now;
        m_timing->lastContent = now;
        ++m_timing->frames;
    }
}

zalViewerChannel::~zalViewerChannel()
{
    close();
}

bool zalViewerChannel::connectTo(const std::string& channel, QString& error)
{
    std::string text;
    m_fd = XoLocalSocketMessagesManager::connectToChannel(channel, text);
    if (m_fd < 0) {
        error = QString::fromStdString(text);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        m_open = true;
    }
    m_reader = std::thread([this] { run(); });
    return true;
}

bool zalViewerChannel::isConnected() const
{
    std::lock_guard<std::mutex> lock(m_sendMutex);
    return m_open;
}

void zalViewerChannel::requestSharedRing()
{
    send(XoRemoteRenderMessage(XoMessageType::SharedRingRequest));
}

void zalViewerChannel::run()
{
    std::unique_ptr<XoSharedRing> ring;
    for (;;) {
        auto message = std::make_shared<XoRemoteRenderMessage>();
        std::string error;
        int passed = -1;
        XoSocketFrameIO::ReadStatus status = ring
                                                 ? XoSocketFrameIO::readFrame(*ring, m_fd, *message, error)
                                                 : XoSocketFrameIO::readFrame(m_fd, *message, error, &passed);
        if (status == XoSocketFrameIO::ReadStatus::Message &&
            message->type() == XoMessageType::UseSharedRing) {
            // Everything after the offer comes through the ring; without it nothing more can be read.
            if (passed >= 0) ring = XoSharedRing::attach(passed, message->field(0).toUInt64(), error);
            if (ring) continue;
            status = XoSocketFrameIO::ReadStatus::Error;
            if (passed < 0) error = "a shared ring was offered without its memory";
        } else if (passed >= 0) {
            ::close(passed);
        }
        if (status == XoSocketFrameIO::ReadStatus::Message) {
            if (m_timing) noteRead(*message);
            hand(std::move(message));
            continue;
        }
        const bool malformed = status == XoSocketFrameIO::ReadStatus::Error && !m_closing;
        QString reason = status == XoSocketFrameIO::ReadStatus::Closed
                             ? QStringLiteral("the host closed the channel")
                             : QString::fromStdString(error);
        if (malformed)
            qWarning().noquote() << "zalViewer: malformed data from the host, closing the channel:" << reason;
        {
            std::lock_guard<std::mutex> lock(m_sendMutex);
            m_open = false;
            ::shutdown(m_fd, SHUT_RDWR);
        }
        // After every message already read.
        QMetaObject::invokeMethod(
            this,
            [this, malformed, reason] {
                drain();
                emit ended(malformed, reason);
            },
            Qt::QueuedConnection);
        return;
    }
}

void zalViewerChannel::hand(std::shared_ptr<const XoRemoteRenderMessage> message)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        wake = m_queue.empty();
        m_queue.push_back(std::move(message));
        m_waiting.store(true, std::memory_order_relaxed);
    }
    if (wake)
        QMetaObject::invokeMethod(
            this, [this] { drain(); }, Qt::QueuedConnection);
}

void zalViewerChannel::drain()
{
    for (;;) {
        std::shared_ptr<const XoRemoteRenderMessage> message;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_queue.empty()) return;
            message = std::move(m_queue.front());
            m_queue.pop_front();
            m_waiting.store(!m_queue.empty(), std::memory_order_relaxed);
        }
        if (m_handler) m_handler(message);
    }
}

bool zalViewerChannel::send(const XoRemoteRenderMessage& message)
{
    std::lock_guard<std::mutex> lock(m_sendMutex);
    if (!m_open) return false;
    std::string error;
    if (XoSocketFrameIO::writeFrame(m_fd, message, error)) return true;
    qWarning().noquote() << "zalViewer: cannot send" << message.name() << ":"
                         << QString::fromStdString(error);
    return false;
}

void zalViewerChannel::close()
{
    if (m_fd < 0) return;
    m_closing = true;
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        m_open = false;
        ::shutdown(m_fd, SHUT_RDWR);
    }
    if (m_reader.joinable()) m_reader.join();
    ::close(m_fd);
    m_fd = -1;
}
