// The module operations that reach the render sessions: suspending their reactors and
// invalidating one object.
#include "module/zalSessionRegistry.h"
#include "module/zalUnrealRenderModule.h"

#include "module/QUnrealDbRenderWidget.h"
#include "module/zalDbUnrealRenderSession.h"

#include "DbObject.h"

void zalUnrealRenderModule::suspendSessionDbReactors()
{
    zalSessionRegistry::instance().adjustReactorSuspendCount(1);
}

void zalUnrealRenderModule::resumeSessionDbReactors()
{
    zalSessionRegistry::instance().adjustReactorSuspendCount(-1);
    // What changed meanwhile reaches the viewer through one refresh.
    auto* widget = qobject_cast<QUnrealDbRenderWidget*>(activeWidget());
    if (zalDbUnrealRenderSession* session = widget ? widget->session() : nullptr)
        session->refresh(QString(), QString());
}

void zalUnrealRenderModule::invalidateObject(OdDbObjectId id)
{
    zalDbUnrealRenderSession* session = zalSessionRegistry::instance().sessionFor(id.database());
    if (!session) return;
    OdDbObjectPtr object = id.openObject();
    if (!object.isNull()) session->invalidate(object.get(), true);
}
