#pragma once

#include "IzalApplication.h"
#include "IzalTerrainModellerModule.h"

#include "DbDatabase.h"

#include <QPointer>

// Keeps the terrain's border reactors of a database quiet for a scope. Without the terrain service
// nothing is suspended; only the service that took the suspend is asked to resume, and only while it
// still exists, so the counts stay balanced.
class borderReactorLocker
{
public:
    explicit borderReactorLocker(OdSmartPtr<OdDbDatabase> database) : m_database(database)
    {
        IzalApplication* app = zalApp();
        QObject* service = app ? app->service(IzalTerrainModellerModule_id) : nullptr;
        auto* terrain = service ? qobject_cast<IzalTerrainModellerModule*>(service) : nullptr;
        if (terrain && !m_database.isNull()) {
            terrain->suspendBorderReactors(m_database.get());
            m_service = service;
        }
    }
    ~borderReactorLocker()
    {
        if (m_service)
            if (auto* terrain = qobject_cast<IzalTerrainModellerModule*>(m_service.data()))
                terrain->resumeBorderReactors(m_database.get());
    }
    borderReactorLocker(const borderReactorLocker&) = delete;
    borderReactorLocker& operator=(const borderReactorLocker&) = delete;

    OdSmartPtr<OdDbDatabase> database() const { return m_database; }

private:
    OdSmartPtr<OdDbDatabase> m_database;
    QPointer<QObject> m_service;
};
