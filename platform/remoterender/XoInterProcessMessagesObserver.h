#pragma once

#include "XoRemoteRenderExport.h"

#include <string>

class XoRemoteRenderMessage;

// What a channel transport reports. Every call comes from the transport's own thread (or, for the
// recording transport, from the thread that simulates the viewer); the observer must not call
// back into the transport's receiving side from it.
class XOREMOTERENDER_EXPORT XoInterProcessMessagesObserver
{
public:
    virtual ~XoInterProcessMessagesObserver() = default;

    // A viewer connected to the channel.
    virtual void channelConnected() = 0;
    // One whole, well-formed message from the viewer.
    virtual void messageReceived(const XoRemoteRenderMessage& message) = 0;
    // The viewer's connection ended (closed, broken, or dropped after a malformed message).
    virtual void channelDisconnected() = 0;
    // The viewer process the transport started has ended.
    virtual void processExited(int exitCode) = 0;
    // Something went wrong on the channel; also written to the debug log.
    virtual void channelError(int code, const std::string& message) = 0;
};
