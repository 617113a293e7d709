// The commands that drive the viewer of the current drawing.
#include "module/zalModuleCommands.h"
#include "module/zalSessionRegistry.h"

#include "module/QUnrealDbRenderWidget.h"
#include "module/zalDbUnrealRenderSession.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"

#include "IzalApplication.h"

#include "DbCommandContext.h"

namespace {

// The database of a drawing command; a context of another kind raises OdError_NotThatKindOfClass.
OdDbDatabase* commandDatabase(OdEdCommandContext* context)
{
    OdDbCommandContextPtr dbContext = OdDbCommandContext::cast(context);
    return dbContext.isNull() ? nullptr : dbContext->database();
}

zalDbUnrealRenderSession* commandSession(OdDbDatabase* db)
{
    return zalSessionRegistry::instance().sessionFor(db);
}

// The sender of the drawing's session when its viewer can be reached, else null.
zalUnrealViewerSender* reachableSender(zalDbUnrealRenderSession* session)
{
    zalUnrealViewerSender* sender = session ? session->sender() : nullptr;
    return zalUnrealViewerSender::isReachable(sender) ? sender : nullptr;
}

void sendToViewer(OdEdCommandContext* context, const QString& command)
{
    OdDbDatabase* db = commandDatabase(context);
    if (!db) return;
    if (zalUnrealViewerSender* sender = reachableSender(commandSession(db)))
        sender->sendConsoleCommand(command);
}

} // namespace

void _unrealcommand_cmd::execute(OdEdCommandContext* context)
{
    OdDbDatabase* db = commandDatabase(context);
    if (!db) return;
    const OdString text = context->userIO()->getString(OdString(L"Console Command"));
    if (text.isEmpty()) return;
    zalUnrealViewerSender* sender = reachableSender(commandSession(db));
    IzalApplication* app = zalApp();
    if (sender && app) sender->sendConsoleCommand(app->toQString(text));
}

void _unrealoutliner_cmd::execute(OdEdCommandContext* context)
{
    sendToViewer(context, QStringLiteral("ShowOutliner"));
}

void _unrealpostprocess_cmd::execute(OdEdCommandContext* context)
{
    sendToViewer(context, QStringLiteral("PostProcessSettings"));
}

void _unrealcameramode_cmd::execute(OdEdCommandContext* context)
{
    OdDbDatabase* db = commandDatabase(context);
    if (!db) return;
    zalDbUnrealRenderSession* session = commandSession(db);
    QUnrealDbRenderWidget* widget = session ? session->widget() : nullptr;
    zalUnrealViewerSender* sender = reachableSender(session);
    if (!widget || !sender) return;
    const int type = context->userIO()->getInt(OdString(L"Navigation Type (0,1,2)"), OdEd::kInpDefault, 2);
    sender->setNavigationType(UnrealNavigationType(type));
    widget->setCameraMode(type != UnrealNavigationHost);
}
