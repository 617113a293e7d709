#pragma once

#include "GsLayoutHelper.h"

class OdGiContextForDbDatabase;

// Sets up devices for the layouts of a database.
class ODGS_EXPORT OdDbGsManager
{
public:
    // One view over the layout's block (the model space for a null id or the model layout), with the
    // camera of the database's active viewport, added to the device and wrapped in a layout helper.
    // Answers null when the context has no database or the device cannot create a view.
    static OdGsLayoutHelperPtr setupLayoutViews(OdDbObjectId layoutId, OdGsDevice* device,
                                                OdGiContextForDbDatabase* giContext);
    static OdGsLayoutHelperPtr setupActiveLayoutViews(OdGsDevice* device,
                                                      OdGiContextForDbDatabase* giContext);
};
