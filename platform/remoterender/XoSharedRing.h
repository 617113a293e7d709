#pragma once

#include "XoRemoteRenderExport.h"

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A one-way byte stream between two processes in shared memory, for the host's side of the channel:
// the writer copies frames straight into it and the reader copies them out, with no system call and no
// kernel copy in between (the socket cost the host about a third of a large refresh). The connected
// socket stays beside it for what memory cannot do: waking a reader that sleeps (one byte), noticing a
// peer that went away, and carrying the ring's file descriptor in the first place.
//
// One writer thread and one reader thread at a time. The writer blocks while the ring is full, the reader
// while it is empty; frames larger than the ring stream through it.
class XOREMOTERENDER_EXPORT XoSharedRing
{
public:
    ~XoSharedRing();
    XoSharedRing(const XoSharedRing&) = delete;
    XoSharedRing& operator=(const XoSharedRing&) = delete;

    // A new ring of `capacity` bytes (rounded up to whole pages), touched once so that its first lap costs
    // no page faults. Null with `error` set when the system has no shared memory to give.
    static std::unique_ptr<XoSharedRing> create(std::size_t capacity, std::string& error);
    // The reader's side of a ring whose descriptor came over the socket; takes ownership of `fd`.
    static std::unique_ptr<XoSharedRing> attach(int fd, std::uint64_t capacity, std::string& error);

    int fd() const { return m_fd; }
    std::size_t capacity() const { return m_capacity; }

    // Writes every byte of the pieces, waiting for room as needed. The reader is woken through `socket`
    // when `wake` is set or a good part of the ring waits unread (the first time in a run of frames
    // written with wake false, already once a large frame waits); content that may wait is written with
    // wake false, so a run of it costs few wake-ups. False with `error` when the peer went away or took
    // nothing for `timeoutSeconds`.
    bool write(const iovec* pieces, std::size_t count, int socket, bool wake, std::string& error,
               int timeoutSeconds = 30);

    // Reads exactly `size` bytes, sleeping on `socket` while the ring is empty. 1 when all came, 0 when the
    // socket ended with nothing more in the ring, -1 on a socket error (errno set); `got` counts the bytes.
    int read(char* data, std::size_t size, std::size_t& got, int socket);

    // Bytes written and not yet read.
    std::size_t pending() const;

    // Times writers in this process found the ring full and waited for the reader, and for how long.
    static std::uint64_t writerWaits();
    static std::uint64_t writerWaitNs();
    // Nanoseconds writers in this process spent in write() other than waiting (copying, waking), and how
    // often they woke a sleeping reader.
    static std::uint64_t writerBusyNs();
    static std::uint64_t writerWakeups();

private:
    struct Shared;
    XoSharedRing(int fd, char* mapping, std::size_t mappingSize, std::size_t capacity);
    void wakeWriter();

    int m_fd = -1;
    char* m_mapping = nullptr;
    std::size_t m_mappingSize = 0;
    std::size_t m_capacity = 0;
    Shared* m_shared = nullptr;
    char* m_data = nullptr;
    // The writer's: the current run of frames that do not wake has had its first wake-up.
    bool m_firstWakeDone = false;
};
