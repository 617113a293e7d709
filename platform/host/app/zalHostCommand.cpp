#include "zalHostCommand.h"

#include "zalHostUserIO.h"
#include "zalStrings.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbEntity.h"
#include "DbHandle.h"
#include "DbObjectIterator.h"
#include "Ed/EdCommandContext.h"
#include "OdError.h"

OdDbDatabase* zalHostCommand::database(OdEdCommandContext* context)
{
    auto* db = context ? dynamic_cast<OdDbDatabase*>(context->baseDatabase()) : nullptr;
    if (!db) fail(QStringLiteral("no drawing is open"));
    return db;
}

OdDbObjectId zalHostCommand::findEntity(OdDbDatabase* db, const QString& selector)
{
    const QString s = selector.trimmed();
    if (!db || s.isEmpty()) return OdDbObjectId();
    if (s.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const int index = s.mid(1).toInt(&ok);
        if (!ok || index < 1) return OdDbObjectId();
        OdDbBlockTableRecordPtr modelSpace = db->getModelSpaceId().safeOpenObject();
        int n = 0;
        for (OdDbObjectIteratorPtr it = modelSpace->newIterator(); !it->done(); it->step())
            if (++n == index) return it->objectId();
        return OdDbObjectId();
    }
    bool ok = false;
    const qulonglong value = s.toULongLong(&ok, 16);
    if (!ok) return OdDbObjectId();
    const OdDbObjectId id = db->getOdDbObjectId(OdDbHandle(OdUInt64(value)));
    OdDbObjectPtr object = id.openObject();
    return dynamic_cast<OdDbEntity*>(object.get()) ? id : OdDbObjectId();
}

OdDbObjectId zalHostCommand::selectEntity(OdEdCommandContext* context, const QString& prompt)
{
    OdDbDatabase* db = database(context);
    auto* io = dynamic_cast<zalHostUserIO*>(context->userIO());
    const QString answer =
        io ? io->entityAnswer(zalStrings::toOdString(prompt))
           : zalStrings::toQString(context->userIO()->getString(zalStrings::toOdString(prompt)));
    const OdDbObjectId id = findEntity(db, answer);
    if (id.isNull()) fail(QStringLiteral("no entity \"%1\" in the drawing").arg(answer.trimmed()));
    return id;
}

void zalHostCommand::fail(const QString& message)
{
    throw OdError(eInvalidInput, zalStrings::toOdString(message));
}

void zalHostCommand::tell(OdEdCommandContext* context, const QString& text)
{
    if (context && context->userIO()) context->userIO()->putString(zalStrings::toOdString(text));
}
