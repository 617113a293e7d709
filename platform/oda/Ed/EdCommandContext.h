// What a command runs with: the user's input and output and the document it works on.
#pragma once

#include "Ed/EdUserIO.h"
#include "RxObject.h"

class ODKIT_EXPORT OdEdCommandContext : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdEdCommandContext);
    virtual OdEdUserIO* userIO() = 0;
    // The document (an OdDbDatabase for drawing commands), null when none.
    virtual OdRxObject* baseDatabase() = 0;
};
typedef OdSmartPtr<OdEdCommandContext> OdEdCommandContextPtr;
