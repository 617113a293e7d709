#include "Ed/EdCommandContext.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdEdCommandContext, OdRxObject)
