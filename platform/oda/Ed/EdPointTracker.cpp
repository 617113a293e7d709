#include "Ed/EdPointTracker.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdEdPointTracker, OdEdInputTracker)
