#include "XoRecordingMessagesManager.h"

#include "XoInterProcessMessagesObserver.h"
#include "XoRemoteRenderMessage.h"

#include <QFile>
#include <QString>
#include <QtDebug>

#include <cstring>
#include <thread>

namespace {

std::string utf8(const std::wstring& text)
{
    return QString::fromStdWString(text).toStdString();
}

void appendQuoted(std::string& line, const std::string& text)
{
    // Same quoting as the message lines.
    XoRemoteRenderMessage m(XoMessageType::BeginTransaction);
    m.addString(text);
    const std::string described = m.describe();
    line += described.substr(described.find('=') + 1);
}

} // namespace

XoRecordingMessagesManager::XoRecordingMessagesManager(const QString& logFile) : m_logFile(logFile) {}

XoRecordingMessagesManager::~XoRecordingMessagesManager() = default;

QStringList XoRecordingMessagesManager::lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

QStringList XoRecordingMessagesManager::lines(const QString& operation) const
{
    QStringList selected;
    for (const QString& line : lines()) {
        if (line.section(QLatin1Char(' '), 0, 0) == operation) selected << line;
    }
    return selected;
}

QStringList XoRecordingMessagesManager::consoleCommands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void XoRecordingMessagesManager::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
    m_commands.clear();
}

void XoRecordingMessagesManager::setListenSucceeds(bool succeeds)
{
    m_listenSucceeds = succeeds;
}

void XoRecordingMessagesManager::record(const std::string& line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines << QString::fromStdString(line);
    if (!m_logFile.isEmpty()) {
        QFile file(m_logFile);
        if (file.open(QIODevice::Append | QIODevice::Text)) {
            file.write(line.data(), qint64(line.size()));
            file.write("\n");
        }
    }
}

void XoRecordingMessagesManager::onOwnThread(const std::function<void()>& work)
{
    // The real transport delivers from its own thread; so does this one, so the receivers' locking
    // is exercised the same way.
    std::thread worker(work);
    worker.join();
}

void XoRecordingMessagesManager::deliver(const XoRemoteRenderMessage& message)
{
    // Through the wire format, so what a test simulates is what a viewer could really send.
    std::string error;
    XoRemoteRenderMessage decoded;
    if (!XoRemoteRenderMessage::decode(message.frameBytes(), decoded, error)) {
        qWarning() << "XoRecordingMessagesManager: cannot simulate" << message.name() << error.c_str();
        return;
    }
    onOwnThread([&] {
        if (m_observer) m_observer->messageReceived(decoded);
    });
}

void XoRecordingMessagesManager::simulateViewerStarted(const std::string& version)
{
    if (!m_connected) {
        m_connected = true;
        onOwnThread([&] {
            if (m_observer) m_observer->channelConnected();
        });
    }
    deliver(XoRemoteRenderMessage(XoMessageType::ViewerStarted).addString(version).addInt(0));
}

void XoRecordingMessagesManager::simulateWindowHandle(std::uint64_t handle)
{
    deliver(XoRemoteRenderMessage(XoMessageType::WindowHandle).addUInt64(handle));
}

void XoRecordingMessagesManager::simulatePakMounted(const std::wstring& pakPath, bool mounted)
{
    deliver(XoRemoteRenderMessage(XoMessageType::PakMounted).addString(utf8(pakPath)).addBool(mounted));
}

void XoRecordingMessagesManager::simulateEntityLost(const std::string& name, const std::string& parent)
{
    deliver(XoRemoteRenderMessage(XoMessageType::EntityLost).addString(name).addString(parent));
}

void XoRecordingMessagesManager::simulateTransactionApplied(const std::string& name)
{
    deliver(
        XoRemoteRenderMessage(XoMessageType::TransactionApplied).addString(name).addBool(false).addInt(0));
}

void XoRecordingMessagesManager::simulateDataSaved(const std::wstring& path)
{
    deliver(XoRemoteRenderMessage(XoMessageType::DataSaved).addString(utf8(path)));
}

void XoRecordingMessagesManager::simulateMessage(const std::string& name, const std::string& data)
{
    deliver(XoRemoteRenderMessage(XoMessageType::ViewerMessage)
                .addString(name)
                .addBytes(data.data(), data.size()));
}

void XoRecordingMessagesManager::simulateError(int code, const std::string& message)
{
    deliver(XoRemoteRenderMessage(XoMessageType::ViewerError).addInt(code).addString(message));
}

void XoRecordingMessagesManager::simulateViewerExit(int exitCode)
{
    const bool wasConnected = m_connected;
    m_connected = false;
    m_processRunning = false;
    m_pending.clear();
    onOwnThread([&] {
        if (!m_observer) return;
        if (wasConnected) m_observer->channelDisconnected();
        m_observer->processExited(exitCode);
    });
}

void XoRecordingMessagesManager::simulateBytes(const std::string& bytes)
{
    m_pending += bytes;
    onOwnThread([&] {
        while (m_pending.size() >= XoRemoteRenderMessage::kHeaderSize) {
            std::uint32_t payload = 0;
            std::memcpy(&payload, m_pending.data(), 4);
            std::string error;
            if (payload > XoRemoteRenderMessage::kMaxPayload) {
                error = "frame length " + std::to_string(payload) + " exceeds the limit";
            } else {
                const std::size_t total = XoRemoteRenderMessage::kHeaderSize + std::size_t(payload);
                if (m_pending.size() < total) return; // wait for the rest, as a socket reader would
                XoRemoteRenderMessage message;
                if (XoRemoteRenderMessage::decode(m_pending.substr(0, total), message, error)) {
                    m_pending.erase(0, total);
                    if (m_observer) m_observer->messageReceived(message);
                    continue;
                }
            }
            // A bad frame ends the connection, like the socket transport does.
            qWarning().noquote() << "XoRemoteRender: bad data from the viewer, closing its connection:"
                                 << QString::fromStdString(error);
            m_pending.clear();
            const bool wasConnected = m_connected;
            m_connected = false;
            if (m_observer) {
                m_observer->channelError(1, "bad data from the viewer, closing its connection: " + error);
                if (wasConnected) m_observer->channelDisconnected();
            }
            return;
        }
    });
}

void XoRecordingMessagesManager::setObserver(XoInterProcessMessagesObserver* observer)
{
    m_observer = observer;
}

bool XoRecordingMessagesManager::listen(const std::string& hint)
{
    m_channel = "recording-" + hint;
    std::string line = "listen channel=";
    appendQuoted(line, m_channel);
    record(line);
    m_listening = m_listenSucceeds;
    return m_listening;
}

bool XoRecordingMessagesManager::isListening() const
{
    return m_listening;
}

std::string XoRecordingMessagesManager::channelName() const
{
    return m_channel;
}

bool XoRecordingMessagesManager::isConnected() const
{
    return m_connected;
}

bool XoRecordingMessagesManager::startProcess(const XoRenderProcessRequest& request)
{
    std::string line = "startRender executable=";
    appendQuoted(line, utf8(request.executable));
    line += " workingFolder=";
    appendQuoted(line, utf8(request.workingFolder));
    line += " sessionKey=" + std::to_string(request.sessionKey);
    if (request.hasRectangle) {
        line += " x=" + std::to_string(request.x) + " y=" + std::to_string(request.y) +
                " width=" + std::to_string(request.width) + " height=" + std::to_string(request.height);
    }
    line += request.vr ? " vr=true" : " vr=false";
    record(line);
    m_processRunning = true;
    return true;
}

bool XoRecordingMessagesManager::isProcessRunning() const
{
    return m_processRunning;
}

bool XoRecordingMessagesManager::send(const XoRemoteRenderMessage& message)
{
    record(message.describe());
    if (message.type() == XoMessageType::SendConsoleCommand) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_commands << QString::fromUtf8(message.field(0).data, int(message.field(0).size));
    }
    return true;
}

void XoRecordingMessagesManager::close()
{
    if (m_closed) return;
    m_closed = true;
    m_listening = false;
    record("close");
    m_observer = nullptr;
}
