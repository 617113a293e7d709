// The channel's reading side: frames from a socket (length, type, payload, possibly several in a
// row or cut off) and the message decoder on every frame that comes out.
#include "XoRemoteRenderMessage.h"
#include "XoSocketFrameIO.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The decoder alone, on the bytes as one frame.
    {
        XoRemoteRenderMessage message;
        std::string error;
        if (XoRemoteRenderMessage::decode(std::string(reinterpret_cast<const char*>(data), size), message,
                                          error))
            (void)message.describe();
    }
    // The frame reader over a real socket; inputs larger than the socket buffer are cut there.
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    int bufferSize = 1 << 20;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
    setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = send(fds[0], data + written, size - written, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n <= 0) break;
        written += std::size_t(n);
    }
    shutdown(fds[0], SHUT_WR);
    for (;;) {
        XoRemoteRenderMessage message;
        std::string error;
        if (XoSocketFrameIO::readFrame(fds[1], message, error) != XoSocketFrameIO::ReadStatus::Message) break;
        if (message.matchesSchema()) (void)message.describe();
    }
    close(fds[0]);
    close(fds[1]);
    return 0;
}
