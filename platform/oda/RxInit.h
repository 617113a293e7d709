// Start and stop of the runtime. The Rx, Db and Ed classes are registered when libodkit is
// loaded; odUninitialize (after as many calls as odInitialize) unregisters the database and
// editor classes, odInitialize registers them again.
#pragma once

#include "OdaCommon.h"

class OdDbSystemServices;

ODKIT_EXPORT void odInitialize(OdDbSystemServices* systemServices = nullptr);
ODKIT_EXPORT void odUninitialize();
ODKIT_EXPORT bool odIsInitialized();
