// Raised by a prompt that the user cancelled; ends the command that asked.
#pragma once

#include "OdError.h"

class ODKIT_EXPORT OdEdCancel : public OdError
{
public:
    OdEdCancel();
};
