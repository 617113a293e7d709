#include "GiContextForDbDatabase.h"

#include "DbDatabase.h"

OdGiContextForDbDatabase::OdGiContextForDbDatabase() = default;

OdGiContextForDbDatabase::~OdGiContextForDbDatabase() = default;

OdRxObject* OdGiContextForDbDatabase::database() const
{
    return m_database;
}
