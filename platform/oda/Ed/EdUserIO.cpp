#include "Ed/EdUserIO.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdEdUserIO, OdRxObject)
