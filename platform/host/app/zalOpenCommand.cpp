#include "zalOpenCommand.h"

#include "zalDocumentManager.h"
#include "zalStrings.h"

#include "Ed/EdCommandContext.h"

void zalOpenCommand::execute(OdEdCommandContext* context)
{
    const QString path = zalStrings::toQString(context->userIO()->getString(OdString("File to open")));
    zalDocumentManager* documents = zalDocumentManager::instance();
    if (!documents) fail(QStringLiteral("the host cannot open drawings"));
    QString message;
    if (!documents->openDrawing(path.trimmed(), &message)) fail(message);
    tell(context, message);
}
