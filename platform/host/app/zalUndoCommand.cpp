#include "zalUndoCommand.h"

#include "zalDocumentManager.h"

#include "DbDatabase.h"

void zalUndoCommand::execute(OdEdCommandContext* context)
{
    OdDbDatabase* db = database(context);
    if (!db->hasUndo()) {
        tell(context, QStringLiteral("Nothing to undo."));
        return;
    }
    db->undo();
    tell(context, QStringLiteral("Undone."));
    if (auto* documents = zalDocumentManager::instance()) documents->notifyChanged(db);
}

void zalRedoCommand::execute(OdEdCommandContext* context)
{
    OdDbDatabase* db = database(context);
    if (!db->hasRedo()) {
        tell(context, QStringLiteral("Nothing to redo."));
        return;
    }
    db->redo();
    tell(context, QStringLiteral("Redone."));
    if (auto* documents = zalDocumentManager::instance()) documents->notifyChanged(db);
}
