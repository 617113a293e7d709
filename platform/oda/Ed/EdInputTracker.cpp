#include "Ed/EdInputTracker.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdEdInputTracker, OdRxObject)
