#pragma once

#include "XoInterProcessMessagesManager.h"

#include <memory>

class XoLocalSocketMessagesManagerPrivate;

// The real transport: a Unix socket in the abstract namespace that the sender listens on and one
// viewer connects to, a thread of its own that accepts and reads, and the viewer process started
// with posix_spawn and reaped by a waiter thread. Frames are written from the sender's thread with
// gathering writes straight from the caller's arrays.
class XOREMOTERENDER_EXPORT XoLocalSocketMessagesManager : public XoInterProcessMessagesManager
{
public:
    XoLocalSocketMessagesManager();
    ~XoLocalSocketMessagesManager() override;

    void setObserver(XoInterProcessMessagesObserver* observer) override;
    bool listen(const std::string& hint) override;
    bool isListening() const override;
    std::string channelName() const override;
    bool isConnected() const override;
    bool startProcess(const XoRenderProcessRequest& request) override;
    bool isProcessRunning() const override;
    bool send(const XoRemoteRenderMessage& message) override;
    void close() override;

    // The viewer's end: connects to a channel by name; -1 with `error` set on failure.
    static int connectToChannel(const std::string& channel, std::string& error);

    // Process id of the started viewer, 0 when none (tests end it to see the notifications).
    long processId() const;

    // Receive memory lent to viewers: each viewer started gets a shared-memory file that the host keeps
    // when it ends, however it ends, and lends to the next one, so that what one viewer held is backed
    // already for the next. One idle file is kept, cut to an eighth of the physical memory, and given
    // back to the system after ten minutes without a viewer; the bytes with pages in it (0 when none
    // waits). ZAL_LEND_RECEIVE_MEMORY=0 lends none (for comparisons).
    static std::size_t idleLentReceiveMemory();
    // How long the idle file is kept (tests shorten it).
    static void setIdleLentReceiveMemoryLimit(int milliseconds);
    // Gives the idle file's memory back to the system (tests start afresh).
    static void dropIdleLentReceiveMemory();

private:
    std::unique_ptr<XoLocalSocketMessagesManagerPrivate> d;
};
