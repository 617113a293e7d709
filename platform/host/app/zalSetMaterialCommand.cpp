#include "zalSetMaterialCommand.h"

#include "zalDocumentManager.h"
#include "zalHostStrings.h"

#include "DbDatabase.h"
#include "DbDictionary.h"
#include "DbEntity.h"
#include "Ed/EdCommandContext.h"

void zalSetMaterialCommand::execute(OdEdCommandContext* context)
{
    OdDbDatabase* db = database(context);
    const OdDbObjectId id = selectEntity(context, QStringLiteral("Select entity (handle or #n)"));
    const QString name =
        zalHostStrings::toQString(context->userIO()->getString(OdString("Material name"))).trimmed();
    OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject();
    const OdDbObjectId material = materials->getAt(zalHostStrings::toOdString(name));
    if (material.isNull()) fail(QStringLiteral("no material \"%1\" in the drawing").arg(name));
    OdDbEntityPtr entity = id.safeOpenObject(OdDb::kForWrite);
    entity->setMaterial(material);
    entity.release();
    tell(context, QStringLiteral("Material %1 set.").arg(name));
    if (auto* documents = zalDocumentManager::instance()) documents->notifyChanged(db);
}
