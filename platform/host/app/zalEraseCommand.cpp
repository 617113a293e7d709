#include "zalEraseCommand.h"

#include "zalDocumentManager.h"

#include "DbEntity.h"

void zalEraseCommand::execute(OdEdCommandContext* context)
{
    const OdDbObjectId id = selectEntity(context, QStringLiteral("Select entity to erase (handle or #n)"));
    OdDbObjectPtr entity = id.safeOpenObject(OdDb::kForWrite);
    entity->erase();
    entity.release();
    tell(context, QStringLiteral("Erased 1 entity."));
    if (auto* documents = zalDocumentManager::instance()) documents->notifyChanged(database(context));
}
