#include "zalSetMaterialCommand.h"

#include "zalDocumentManager.h"
#include "zalStrings.h"

#include "DbDatabase.h"
#include "DbDictionary.h"
#include "DbDictionaryIterator.h"
#include "DbEntity.h"
#include "Ed/EdCommandContext.h"

void zalSetMaterialCommand::execute(OdEdCommandContext* context)
{
    OdDbDatabase* db = database(context);
    const OdDbObjectId id = selectEntity(context, QStringLiteral("Select entity (handle or #n)"));
    OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject();
    QString name;
    for (;;) {
        name = zalStrings::toQString(context->userIO()->getString(OdString("Material name (? lists them)")))
                   .trimmed();
        if (name != QLatin1String("?")) break;
        QStringList names;
        for (OdDbDictionaryIteratorPtr it = materials->newIterator(); !it->done(); it->next())
            names << zalStrings::toQString(it->name());
        tell(context, QStringLiteral("Materials: %1").arg(names.join(QStringLiteral(", "))));
    }
    const OdDbObjectId material = materials->getAt(zalStrings::toOdString(name));
    if (material.isNull()) fail(QStringLiteral("no material \"%1\" in the drawing").arg(name));
    OdDbEntityPtr entity = id.safeOpenObject(OdDb::kForWrite);
    entity->setMaterial(material);
    entity.release();
    tell(context, QStringLiteral("Material %1 set.").arg(name));
    if (auto* documents = zalDocumentManager::instance()) documents->notifyChanged(db);
}
