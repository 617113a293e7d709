#include "zalLayerCommand.h"

#include "zalDocumentManager.h"
#include "zalStrings.h"

#include "DbDatabase.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbSymbolTableIterator.h"
#include "Ed/EdCommandContext.h"

void zalLayerCommand::execute(OdEdCommandContext* context)
{
    OdDbDatabase* db = database(context);
    OdDbLayerTablePtr table = db->getLayerTableId().safeOpenObject();
    QString name;
    for (;;) {
        name = zalStrings::toQString(context->userIO()->getString(OdString("Layer name (? lists them)")))
                   .trimmed();
        if (name != QLatin1String("?")) break;
        QStringList layers;
        for (OdDbSymbolTableIteratorPtr it = table->newIterator(); !it->done(); it->step()) {
            OdDbLayerTableRecordPtr layer = it->getRecordId().safeOpenObject();
            layers << QStringLiteral("%1 (%2)").arg(zalStrings::toQString(layer->getName()),
                                                    layer->isFrozen() ? QStringLiteral("frozen")
                                                    : layer->isOff()  ? QStringLiteral("off")
                                                                      : QStringLiteral("on"));
        }
        tell(context, QStringLiteral("Layers: %1").arg(layers.join(QStringLiteral(", "))));
    }
    const OdDbObjectId id = table->getAt(zalStrings::toOdString(name));
    if (id.isNull()) fail(QStringLiteral("no layer \"%1\" in the drawing").arg(name));
    const int state = context->userIO()->getKeyword(OdString("Layer state [On/Off/Freeze/Thaw]"),
                                                    OdString("On Off Freeze Thaw"));
    OdDbLayerTableRecordPtr layer = id.safeOpenObject(OdDb::kForWrite);
    switch (state) {
    case 0:
        layer->setIsOff(false);
        break;
    case 1:
        layer->setIsOff(true);
        break;
    case 2:
        layer->setIsFrozen(true);
        break;
    default:
        layer->setIsFrozen(false);
        break;
    }
    layer.release();
    tell(
        context,
        QStringLiteral("Layer %1: %2.").arg(name, QStringList{"on", "off", "frozen", "thawed"}.value(state)));
    if (auto* documents = zalDocumentManager::instance()) documents->notifyChanged(db);
}
