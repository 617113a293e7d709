#pragma once

#include "zalExport.h"

#include <QList>
#include <QMutex>

#include <map>

class OdDbDatabase;
class zalDbUnrealRenderSession;

// The module's process-wide session state: which session shows which drawing, which sessions wait for
// their viewer's window handle, and how many suspensions of the sessions' database reactors are open.
// One per process (instance()); GUI thread, except the wait list (see windowHandleMutex).
class ZAL_EXPORT zalSessionRegistry
{
public:
    static zalSessionRegistry& instance();

    // Sessions enter in initialise and leave when they end.
    std::map<OdDbDatabase*, zalDbUnrealRenderSession*>& sessions() { return m_sessions; }
    // Null when the database has no session.
    zalDbUnrealRenderSession* sessionFor(OdDbDatabase* db) const;

    // The sessions waiting for their viewer's window handle; touched from the channel's thread, so
    // only under windowHandleMutex().
    QList<zalDbUnrealRenderSession*>& windowHandleWaitList() { return m_windowHandleWaitList; }
    QMutex& windowHandleMutex() { return m_windowHandleMutex; }

    // While suspended, the sessions' reactors stay attached but nothing draws.
    bool isReactorSuspended() const { return m_reactorSuspendCount > 0; }
    int reactorSuspendCount() const { return m_reactorSuspendCount; }
    void adjustReactorSuspendCount(int delta) { m_reactorSuspendCount += delta; }

private:
    zalSessionRegistry() = default;

    std::map<OdDbDatabase*, zalDbUnrealRenderSession*> m_sessions;
    QList<zalDbUnrealRenderSession*> m_windowHandleWaitList;
    QMutex m_windowHandleMutex;
    int m_reactorSuspendCount = 0;
};
