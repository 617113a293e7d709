#pragma once

#include "XoRemoteRenderExport.h"

#include <cstdint>

// Process-wide watcher of every sender: what goes to the viewers and what the viewers report back.
// The host installs one to show progress and the viewers' complaints to its user; the senders' owners
// need not know. Calls run on the senders' (GUI) thread.
class XOREMOTERENDER_EXPORT XoRemoteRenderMonitor
{
public:
    virtual ~XoRemoteRenderMonitor();

    // Content the viewer of sessionKey gains from what was just sent: entities (instances, spawned
    // instances, lights) and the triangles of meshes (a face of n corners counts n - 2). Something
    // sent again under the same name and owner replaces itself and does not count.
    virtual void contentSent(long sessionKey, std::uint64_t entities, std::uint64_t triangles);
    // A fault the viewer of sessionKey reported (a console line it does not know, a picture it could
    // not write...). Faults of the channel itself are not included.
    virtual void viewerReported(long sessionKey, int code, const char* message);
};
