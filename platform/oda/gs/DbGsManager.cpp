#include "DbGsManager.h"

#include "GiContextForDbDatabase.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "RxObjectImpl.h"

OdGsLayoutHelperPtr OdDbGsManager::setupLayoutViews(OdDbObjectId layoutId, OdGsDevice* device,
                                                    OdGiContextForDbDatabase* giContext)
{
    OdDbDatabase* db = giContext ? giContext->getDatabase() : nullptr;
    if (!db || !device) return OdGsLayoutHelperPtr();
    // Layouts are their block records here; the model layout shows the model space.
    OdDbObjectId blockId = layoutId.isNull() ? db->getModelSpaceId() : layoutId;
    OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::cast(blockId.openObject());
    if (!block) return OdGsLayoutHelperPtr();

    device->setUserGiContext(giContext);
    OdGsClientViewInfo info;
    info.viewportId = 0;
    info.viewportObjectId = db->activeViewportId();
    OdGsViewPtr view = device->createView(&info);
    if (!view) return OdGsLayoutHelperPtr();
    view->add(block.get());
    device->addView(view.get());

    OdGsLayoutHelperPtr helper = OdRxObjectImpl<OdGsLayoutHelper>::createObject();
    helper->init(device, blockId);
    helper->setActiveViewport(db->activeViewportId());
    return helper;
}

OdGsLayoutHelperPtr OdDbGsManager::setupActiveLayoutViews(OdGsDevice* device,
                                                          OdGiContextForDbDatabase* giContext)
{
    OdDbDatabase* db = giContext ? giContext->getDatabase() : nullptr;
    return db ? setupLayoutViews(db->getActiveLayoutBTRId(), device, giContext) : OdGsLayoutHelperPtr();
}
