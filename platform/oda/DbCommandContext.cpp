#include "DbCommandContext.h"

ODRX_NO_CONS_DEFINE_MEMBERS(OdDbUserIO, OdEdUserIO)
ODRX_NO_CONS_DEFINE_MEMBERS(OdDbCommandContext, OdEdCommandContext)

OdDbDatabase* OdDbCommandContext::database()
{
    OdRxObject* base = baseDatabase();
    if (!base || !base->isKindOf(OdDbDatabase::desc())) return nullptr;
    return static_cast<OdDbDatabase*>(base);
}

OdDbUserIO* OdDbCommandContext::dbUserIO()
{
    OdEdUserIO* io = userIO();
    if (!io || !io->isKindOf(OdDbUserIO::desc())) return nullptr;
    return static_cast<OdDbUserIO*>(io);
}
