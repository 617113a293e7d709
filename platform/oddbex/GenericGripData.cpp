#include "GenericGripData.h"

ODRX_CONS_DEFINE_MEMBERS(GenericGripData, OdRxObject, RXIMPL_CONSTR)
