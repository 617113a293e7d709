#pragma once

#include "XoRemoteRenderExport.h"

#include <string>

class XoInterProcessMessagesObserver;
class XoRemoteRenderMessage;

// How to start a viewer process for one channel.
struct XoRenderProcessRequest
{
    std::wstring executable;
    std::wstring workingFolder;
    std::string channel; // the name the viewer connects to
    long sessionKey = 0;
    bool hasRectangle = false; // false: the viewer picks its own window rectangle
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool vr = false;
};

// The transport under a sender: one channel to one viewer. The sender owns it, listens once at
// construction, sends from its own (GUI) thread and receives through the observer.
//
// Implementations: XoLocalSocketMessagesManager (Unix socket and a real viewer process, the
// default) and XoRecordingMessagesManager (writes every call as a line, plays the viewer in tests).
class XOREMOTERENDER_EXPORT XoInterProcessMessagesManager
{
public:
    virtual ~XoInterProcessMessagesManager() = default;

    // Set before listen(); not owned; called from the transport's thread.
    virtual void setObserver(XoInterProcessMessagesObserver* observer) = 0;
    // Opens the channel for one viewer. `hint` takes part in the channel name.
    virtual bool listen(const std::string& hint) = 0;
    virtual bool isListening() const = 0;
    virtual std::string channelName() const = 0;
    virtual bool isConnected() const = 0;

    virtual bool startProcess(const XoRenderProcessRequest& request) = 0;
    virtual bool isProcessRunning() const = 0;

    // Sends one message whole, in call order. Without a connected viewer the message is dropped
    // and false returned (the recording transport records it anyway and returns true).
    virtual bool send(const XoRemoteRenderMessage& message) = 0;

    // Ends the connection and the transport's thread; the process, if any, is left to end on
    // its own after its channel closes. No observer call arrives after close() returns.
    virtual void close() = 0;
};
