#pragma once

#include "XoRemoteRenderExport.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class XoRemoteRenderMessage;
class XoSharedRing;

// Whole frames over a connected stream socket, used by both ends of the channel.
class XOREMOTERENDER_EXPORT XoSocketFrameIO
{
public:
    enum class ReadStatus
    {
        Message, // one well-formed message
        Closed,  // the peer closed between two frames
        Error,   // bad bytes, a frame cut off by the end of the stream, or a socket error
    };

    // Blocks until one frame is in. The payload buffer grows only as bytes actually arrive, so a
    // forged length cannot make the reader reserve memory it never receives.
    // With `passedFd`, a descriptor that came with the frame is stored there (else -1); the caller owns it.
    static ReadStatus readFrame(int fd, XoRemoteRenderMessage& out, std::string& error,
                                int* passedFd = nullptr);
    // The same from a shared ring, sleeping on `fd` (the ring's socket) while it is empty.
    static ReadStatus readFrame(XoSharedRing& ring, int fd, XoRemoteRenderMessage& out, std::string& error);

    // Writes one frame with gathering writes straight from the message's pieces. A peer that takes
    // nothing for the socket's send timeout counts as an error. `passFd`, when given, travels with the
    // frame's first byte.
    static bool writeFrame(int fd, const XoRemoteRenderMessage& message, std::string& error, int passFd = -1);
    // The same into a shared ring whose reader sleeps on `fd`; `wake` as XoSharedRing::write says.
    static bool writeFrame(XoSharedRing& ring, int fd, const XoRemoteRenderMessage& message, bool wake,
                           std::string& error);

    // Warms `bytes` of receive memory ahead of need and keeps that much of it for reuse once the frames
    // in it are gone. For a process about to take in a large scene: memory touched for the first time
    // can cost more than the bytes written into it (notably in virtual machines). Blocks while it works,
    // so call it from a thread of its own; returns early once *stop turns true.
    static void reserveReceiveMemory(std::size_t bytes, const std::atomic<bool>* stop = nullptr);
    // The same, then refills the spare memory once frames have taken some and then paused for a moment,
    // or at once while huge pages are on, until `stop` turns true: received frames land in memory backed
    // ahead of them by the calling thread, and what is kept spare goes back to `bytes` after each transfer.
    // The thread drops to the lowest priority once huge pages are off.
    static void keepReceiveMemoryWarm(std::size_t bytes, const std::atomic<bool>& stop);
    // Receive memory backed and waiting for frames.
    static std::size_t spareReceiveMemory();
    // Slabs the reading thread had to back itself (no spare was ready), and the nanoseconds that took.
    static std::uint64_t slabsBackedOnDemand();
    static std::uint64_t nsBackingOnDemand();

    // The pages slabs of receive memory get. Auto measures: huge pages while backing them costs less than
    // small ones, small pages for good from the first huge slab that costs more. Huge and Small are forced.
    enum class SlabPages
    {
        Auto,
        Huge,
        Small,
    };
    // Forces a kind, or with Auto measures afresh (for tests).
    static void setSlabPages(SlabPages pages);
    // What slabs get now: Auto while still undecided.
    static SlabPages slabPages();
    // Slabs backed with huge pages asked for.
    static std::uint64_t hugePageSlabs();
    // Pretends that backing a huge-page slab costs `ns` more than measured (for tests: a stall on demand).
    static void addToHugePageCostForTests(std::uint64_t ns);
    // Gives back every spare slab and keeps none until asked again (for tests).
    static void dropSpareReceiveMemory();

    // Receive memory lent by the host: a shared-memory file (`fd`, taken over) that the host keeps from one
    // viewer to the next, so that a new viewer does not back a large scene's memory from scratch. Slabs
    // come from it from now on: the pages a previous viewer left in it become spares (mapped by the thread
    // that keeps spares warm, before any frame needs them), new slabs grow it, and slabs given back
    // beyond the spares leave it again. False with `error` when `fd` is not such a file.
    static bool useLentReceiveMemory(int fd, std::string& error);
    // Lent memory kept as spares beyond the usual (what an earlier, larger drawing needed) goes back to
    // the system once no slab has been taken for this long: ten minutes, the time the host keeps memory
    // without a viewer (tests shorten it). Checked by the thread that keeps spares warm.
    static void setIdleLentSpareLimit(int milliseconds);
    // Lent memory mapped or waiting to be, in bytes.
    static std::size_t lentReceiveMemory();
    // For a process about to end: slabs given back from now on keep their pages in the lent memory, so
    // the next viewer finds what this one held.
    static void keepLentReceiveMemory();
    // Stops using lent memory: spares go, slabs holding frames stay valid until their frames go (tests).
    static void endLentReceiveMemory();

    // Applies the buffer sizes and the send timeout both ends use.
    static void tuneSocket(int fd);
};

// Frames written together. A small frame is copied into a buffer that goes out with the next write, so
// a long run of small frames costs a few system calls (and wake-ups of the reader) instead of one each; a
// large frame goes out at once, straight from its pieces, behind what is buffered. The caller decides
// when a frame may wait (the sender: scene content inside a transaction, which the viewer applies only
// when the transaction ends) and flushes before anything that must not. (A thread of its own writing
// the full buffers was tried: on two cores it competed with the viewer's reader and gained nothing.)
class XOREMOTERENDER_EXPORT XoFrameBatch
{
public:
    // Adds a frame; writes when the buffer is full or the frame is large. False on a write failure.
    bool add(int fd, const XoRemoteRenderMessage& message, std::string& error);
    // Writes what is buffered, followed by `message` when one is given, in one gathering write.
    bool flush(int fd, const XoRemoteRenderMessage* message, std::string& error);
    // Forgets what is buffered (the connection changed).
    void clear() { m_buffer.clear(); }

private:
    static constexpr std::size_t kCopiedFrame = 64u << 10;
    static constexpr std::size_t kBufferLimit = 1u << 20;
    std::vector<char> m_buffer;
};
