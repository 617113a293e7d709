// User input and output of a drawing command (the editor's IO over a database).
#pragma once

#include "Ed/EdUserIO.h"

class ODKIT_EXPORT OdDbUserIO : public OdEdUserIO
{
public:
    ODRX_DECLARE_MEMBERS(OdDbUserIO);
};
typedef OdSmartPtr<OdDbUserIO> OdDbUserIOPtr;
