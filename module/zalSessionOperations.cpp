// The module operations that reach the render sessions: suspending their reactors and
// invalidating one object.
#include "module/zalUnrealRenderModule.h"

#include "module/zalDbUnrealRenderSession.h"
#include "widget/QUnrealDbRenderWidget.h"

#include "DbObject.h"

void zalUnrealRenderModule::suspendSessionDbReactors()
{
    adjustReactorSuspendCount(1);
}

void zalUnrealRenderModule::resumeSessionDbReactors()
{
    adjustReactorSuspendCount(-1);
    // What changed meanwhile reaches the viewer through one refresh.
    auto* widget = qobject_cast<QUnrealDbRenderWidget*>(activeWidget());
    if (zalDbUnrealRenderSession* session = widget ? widget->session() : nullptr)
        session->refresh(QString(), QString());
}

void zalUnrealRenderModule::invalidateObject(OdDbObjectId id)
{
    zalDbUnrealRenderSession* session = sessionFor(id.database());
    if (!session) return;
    OdDbObjectPtr object = id.openObject();
    if (!object.isNull()) session->invalidate(object.get(), true);
}
