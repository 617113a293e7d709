#include "zalFountainCreateCommand.h"

#include "OdDbXmlPropWaterFountain.h"
#include "zalDbWaterFountain.h"

#include "zalDragTracker.h"

#include "IzalApplication.h"
#include "IzalConsole.h"

#include "DbBlockTableRecord.h"
#include "DbCommandContext.h"

#include <QCoreApplication>

// Places a new, running fountain where the user points; the fountain follows the cursor meanwhile and
// the property panel shows it from the start.
void _fountain_create_cmd::execute(OdEdCommandContext* context)
{
    OdDbCommandContextPtr commandContext = OdDbCommandContext::cast(context);
    OdDbDatabase* db = commandContext->database();
    OdEdUserIO* io = commandContext->userIO();
    if (!db || !io) return;

    zalDbWaterFountainPtr fountain = zalDbWaterFountain::createObject();
    fountain->setActive(true);
    fountain->setDatabaseDefaults(db);

    IzalConsole* console = zalService<IzalConsole>(QStringLiteral(IzalConsole_id));
    OdDbXmlPropWaterFountainPtr source = OdDbXmlPropWaterFountain::createObject(fountain.get(), db);
    if (console) console->setPlacementPropertySource(source.get(), db, 0);

    zalDragTrackerPtr tracker = zalDragTracker::createObject();
    tracker->init(fountain, OdGePoint3d::kOrigin);
    // A cancel ends the command here: nothing is appended, and what the panel does with the page of
    // the fountain that was never placed is the host's business.
    const QString prompt = QCoreApplication::translate("_fountain_create_cmd", "Set Fountain Position");
    io->getPoint(OdString(prompt.toStdWString()), OdEd::kGptDefault, nullptr, OdString(), tracker.get());

    fountain->setTransform(OdGeMatrix3d::translation(tracker->lastPoint() - OdGePoint3d::kOrigin));

    OdDbObjectId spaceId = db->getActiveLayoutBTRId();
    if (spaceId == db->getPaperSpaceId() && db->getCVPORT() > 1) spaceId = db->getModelSpaceId();
    OdDbBlockTableRecordPtr space = spaceId.safeOpenObject(OdDb::kForWrite);
    space->appendOdDbEntity(fountain);
    if (console) console->placementAppended(fountain.get(), db);
}
