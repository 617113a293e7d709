#pragma once

#include "zalExport.h"

class IzalProjectManager;
class IzalViewSystem;
class OdDbDatabase;
class zalUnrealRenderModule;

// What the module hands the sessions it makes (and they their senders and widgets): the module's
// service, the host services they use, and which kind of viewer was launched last. The module owns
// it for the library's lifetime; between uninitApp and the next initApp it answers null.
class ZAL_EXPORT zalModuleContext
{
public:
    // Null before initApp and after uninitApp.
    zalUnrealRenderModule* module() const { return m_module; }
    // Looked up on first use and kept until the module is started or stopped again, because a host
    // loaded again may publish other service objects.
    IzalViewSystem* viewSystem();
    IzalProjectManager* projectManager();
    // The current database of the host console; null when none or not a drawing.
    OdDbDatabase* currentDatabase() const;

    // Launches choose their executable afresh; what the last one chose decides the first commands.
    bool ue5ViewerLaunched() const { return m_ue5ViewerLaunched; }
    void setUe5ViewerLaunched(bool launched) { m_ue5ViewerLaunched = launched; }

    // By the module: started with itself, stopped with null.
    void reset(zalUnrealRenderModule* module);

private:
    zalUnrealRenderModule* m_module = nullptr;
    IzalViewSystem* m_viewSystem = nullptr;
    IzalProjectManager* m_projectManager = nullptr;
    bool m_ue5ViewerLaunched = false;
};
