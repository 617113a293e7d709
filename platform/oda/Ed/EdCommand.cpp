#include "Ed/EdCommand.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdEdCommand, OdRxObject)
