#pragma once

#include "XoInterProcessMessagesManager.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// A transport without a viewer: every call becomes one line of text, kept in memory and, when a
// file is given, appended to it. Tests also play the viewer's side with the simulate* operations.
//
// Lines (see XoRemoteRenderMessage::describe for the field format):
//   listen channel="recording-<hint>"
//   startRender executable="..." workingFolder="..." sessionKey=7 x=0 y=0 width=640 height=480 vr=false
//     (without a rectangle: x= y= width= height= are left out)
//   close
//   and one line per message, e.g.  sendConsoleCommand command="pause"
//
// The simulate* operations deliver on a short-lived thread of their own, as the real transport's
// thread would, and return once delivered: the window-handle and pak-mounted callbacks have run
// then; the other notifications are posted to the sender's thread and run at its next event-loop
// turn (QCoreApplication::processEvents()).
class XOREMOTERENDER_EXPORT XoRecordingMessagesManager : public XoInterProcessMessagesManager
{
public:
    explicit XoRecordingMessagesManager(const QString& logFile = QString());
    ~XoRecordingMessagesManager() override;

    QStringList lines() const;
    // The command text of every sendConsoleCommand line, in order.
    QStringList consoleCommands() const;
    // Lines whose operation name is `operation` (the first word).
    QStringList lines(const QString& operation) const;
    void clear();

    // Whether listen() succeeds; true by default.
    void setListenSucceeds(bool succeeds);

    // The viewer's side.
    void simulateViewerStarted(const std::string& version = "recording");
    void simulateWindowHandle(std::uint64_t handle);
    void simulatePakMounted(const std::wstring& pakPath, bool mounted);
    void simulateEntityLost(const std::string& name, const std::string& parent);
    void simulateTransactionApplied(const std::string& name);
    void simulateDataSaved(const std::wstring& path);
    void simulateMessage(const std::string& name, const std::string& data);
    void simulateError(int code, const std::string& message);
    // The viewer closes its channel and its process ends with exitCode.
    void simulateViewerExit(int exitCode);
    // Hands raw bytes to the receiving decoder, as if they came from the socket (robustness tests).
    void simulateBytes(const std::string& bytes);

    // XoInterProcessMessagesManager
    void setObserver(XoInterProcessMessagesObserver* observer) override;
    bool listen(const std::string& hint) override;
    bool isListening() const override;
    std::string channelName() const override;
    bool isConnected() const override;
    bool startProcess(const XoRenderProcessRequest& request) override;
    bool isProcessRunning() const override;
    bool send(const XoRemoteRenderMessage& message) override;
    void close() override;

private:
    void record(const std::string& line);
    void deliver(const XoRemoteRenderMessage& message);
    void onOwnThread(const std::function<void()>& work);

    mutable std::mutex m_mutex;
    QStringList m_lines;
    QStringList m_commands;
    QString m_logFile;
    XoInterProcessMessagesObserver* m_observer = nullptr;
    std::string m_channel;
    bool m_listenSucceeds = true;
    bool m_listening = false;
    bool m_connected = false;
    bool m_processRunning = false;
    bool m_closed = false;
    std::string m_pending; // undecoded bytes of simulateBytes
};
