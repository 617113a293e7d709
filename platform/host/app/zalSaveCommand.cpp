#include "zalSaveCommand.h"

#include "zalDocumentManager.h"
#include "zalStrings.h"

#include "Ed/EdCommandContext.h"

#include <QFileInfo>

void zalSaveCommand::execute(OdEdCommandContext* context)
{
    OdDbDatabase* db = database(context);
    zalDocumentManager* documents = zalDocumentManager::instance();
    if (!documents) fail(QStringLiteral("the host cannot save drawings"));
    QString proposed = documents->pathOf(db);
    if (!proposed.isEmpty() &&
        QFileInfo(proposed).suffix().compare(QLatin1String("dxf"), Qt::CaseInsensitive) != 0)
        proposed = QFileInfo(proposed).absolutePath() + QLatin1Char('/') +
                   QFileInfo(proposed).completeBaseName() + QStringLiteral(".dxf");
    QString path = zalStrings::toQString(context->userIO()->getString(OdString("File to save"), 0,
                                                                      zalStrings::toOdString(proposed)))
                       .trimmed();
    if (path.isEmpty()) path = proposed;
    if (path.isEmpty()) fail(QStringLiteral("no file to save to"));
    QString message;
    if (!documents->saveDrawing(db, path, &message)) fail(message);
    tell(context, message);
}
