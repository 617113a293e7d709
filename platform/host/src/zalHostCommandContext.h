#pragma once

#include "DbCommandContext.h"

// What a host console command runs with: the console's user IO and the current drawing.
class zalHostCommandContext : public OdDbCommandContext
{
public:
    zalHostCommandContext(OdEdUserIO* io, OdRxObject* database) : m_io(io), m_database(database) {}

    OdEdUserIO* userIO() override { return m_io; }
    OdRxObject* baseDatabase() override { return m_database; }

private:
    OdEdUserIO* m_io;
    OdRxObject* m_database;
};
