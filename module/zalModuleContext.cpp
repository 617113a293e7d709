#include "module/zalModuleContext.h"

#include "IzalApplication.h"
#include "IzalConsole.h"
#include "IzalProjectManager.h"
#include "IzalViewSystem.h"

#include "DbDatabase.h"

IzalViewSystem* zalModuleContext::viewSystem()
{
    if (!m_viewSystem) m_viewSystem = zalService<IzalViewSystem>(IzalViewSystem_id);
    return m_viewSystem;
}

IzalProjectManager* zalModuleContext::projectManager()
{
    if (!m_projectManager) m_projectManager = zalService<IzalProjectManager>(IzalProjectManager_id);
    return m_projectManager;
}

OdDbDatabase* zalModuleContext::currentDatabase() const
{
    IzalConsole* console = zalService<IzalConsole>(IzalConsole_id);
    OdRxObject* current = console ? console->currentDatabase() : nullptr;
    if (!current) return nullptr;
    // The console may hold documents of other kinds; only drawings count.
    return current->isKindOf(OdDbDatabase::desc()) ? static_cast<OdDbDatabase*>(current) : nullptr;
}

void zalModuleContext::reset(zalUnrealRenderModule* module)
{
    m_module = module;
    m_viewSystem = nullptr;
    m_projectManager = nullptr;
}
