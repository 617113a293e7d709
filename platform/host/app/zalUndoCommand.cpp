#include "zalUndoCommand.h"

#include "zalDocumentManager.h"

#include "DbDatabase.h"

namespace {

// Undo and redo differ only in the direction they step and what they say.
void step(OdEdCommandContext* context, bool (OdDbDatabase::*canStep)() const, void (OdDbDatabase::*doStep)(),
          const QString& nothing, const QString& done)
{
    OdDbDatabase* db = zalHostCommand::database(context);
    if (!(db->*canStep)()) {
        zalHostCommand::tell(context, nothing);
        return;
    }
    (db->*doStep)();
    zalHostCommand::tell(context, done);
    if (auto* documents = zalDocumentManager::instance()) documents->notifyChanged(db);
}

} // namespace

void zalUndoCommand::execute(OdEdCommandContext* context)
{
    step(context, &OdDbDatabase::hasUndo, &OdDbDatabase::undo, QStringLiteral("Nothing to undo."),
         QStringLiteral("Undone."));
}

void zalRedoCommand::execute(OdEdCommandContext* context)
{
    step(context, &OdDbDatabase::hasRedo, &OdDbDatabase::redo, QStringLiteral("Nothing to redo."),
         QStringLiteral("Redone."));
}
