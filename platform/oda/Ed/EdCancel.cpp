#include "Ed/EdCancel.h"

OdEdCancel::OdEdCancel() : OdError(eUserBreak) {}
