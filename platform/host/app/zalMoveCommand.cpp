#include "zalMoveCommand.h"

#include "zalDocumentManager.h"

#include "DbEntity.h"
#include "Ed/EdCommandContext.h"

void zalMoveCommand::execute(OdEdCommandContext* context)
{
    const OdDbObjectId id = selectEntity(context, QStringLiteral("Select entity to move (handle or #n)"));
    const OdGePoint3d by = context->userIO()->getPoint(OdString("Displacement (x,y,z)"));
    OdDbEntityPtr entity = id.safeOpenObject(OdDb::kForWrite);
    if (entity->transformBy(OdGeMatrix3d::translation(by - OdGePoint3d::kOrigin)) != eOk)
        fail(QStringLiteral("this entity cannot be moved"));
    entity.release();
    tell(context, QStringLiteral("Moved 1 entity."));
    if (auto* documents = zalDocumentManager::instance()) documents->notifyChanged(database(context));
}
