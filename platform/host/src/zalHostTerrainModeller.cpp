#include "zalHostTerrainModeller.h"

#include <QDebug>

zalHostTerrainModeller::zalHostTerrainModeller(QObject* parent) : QObject(parent) {}

void zalHostTerrainModeller::suspendBorderReactors(OdDbDatabase* database)
{
    if (!database) return;
    if (++m_suspended[database] == 1) emit borderReactorsSuspended(database);
}

void zalHostTerrainModeller::resumeBorderReactors(OdDbDatabase* database)
{
    auto it = m_suspended.find(database);
    if (it == m_suspended.end()) {
        qWarning() << "zalhost: border reactors resumed without a suspend";
        return;
    }
    if (--*it == 0) {
        m_suspended.erase(it);
        emit borderReactorsResumed(database);
    }
}

bool zalHostTerrainModeller::isBorderReactorSuspended(OdDbDatabase* database) const
{
    return m_suspended.value(database) > 0;
}

bool zalHostTerrainModeller::elevationAt(OdDbDatabase* database, const OdGePoint3d&, double& elevation) const
{
    if (!database) return false;
    auto it = m_heights.constFind(database);
    if (it == m_heights.constEnd()) it = m_heights.constFind(nullptr);
    if (it == m_heights.constEnd()) return false;
    elevation = *it;
    return true;
}

void zalHostTerrainModeller::setFlatTerrain(OdDbDatabase* database, double height)
{
    m_heights.insert(database, height);
}

void zalHostTerrainModeller::removeTerrain(OdDbDatabase* database)
{
    m_heights.remove(database);
}
