#pragma once

#include "OdgsExport.h"

// The graphics layer registers its entity classes when its library is loaded. After the database layer
// was uninitialised and initialised again, odgsInitialize registers them anew (under the new parents);
// odgsUninitialize removes them. Both are idempotent.
ODGS_EXPORT void odgsInitialize();
ODGS_EXPORT void odgsUninitialize();
