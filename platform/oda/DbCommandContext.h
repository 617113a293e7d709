// Context of a drawing command: its database and user IO. The host implements userIO and
// baseDatabase; database() casts the base database.
#pragma once

#include "DbDatabase.h"
#include "DbUserIO.h"
#include "Ed/EdCommandContext.h"

class ODKIT_EXPORT OdDbCommandContext : public OdEdCommandContext
{
public:
    ODRX_DECLARE_MEMBERS(OdDbCommandContext);
    // Null when the context has no database.
    OdDbDatabase* database();
    // The user IO as OdDbUserIO when it is one, else null.
    OdDbUserIO* dbUserIO();
};
typedef OdSmartPtr<OdDbCommandContext> OdDbCommandContextPtr;
