#pragma once

#include "zalExport.h"

#include <QString>

class zalEntityRegistry;

// What the translation asks of the session that owns it (the session implements it). The view, the
// asset spawning and the material translation reach the session only through this and the registry,
// so translate/ does not depend on module/.
class ZAL_EXPORT zalTranslationOwner
{
public:
    // What the viewer holds, the open batch and the sender; lives as long as the owner.
    virtual zalEntityRegistry& registry() = 0;
    // Whether entities may be drawn into the viewer now; otherwise they are postponed.
    virtual bool isReadyToDraw() const = 0;
    // The drawing's active viewport record changed.
    virtual void activeViewportChanged() = 0;
    // The folder of the viewer's asset library; empty when there is none.
    virtual QString assetsLibraryPath() const = 0;

protected:
    ~zalTranslationOwner() = default;
};
