#pragma once

#include "IzalTerrainModellerModule.h"

#include <QHash>
#include <QObject>

// The reference host's terrain: a flat surface at a set height, per drawing or for all drawings, and
// the nesting count of each drawing's border reactors.
class zalHostTerrainModeller : public QObject, public IzalTerrainModellerModule
{
    Q_OBJECT
    Q_INTERFACES(IzalTerrainModellerModule)
public:
    explicit zalHostTerrainModeller(QObject* parent = nullptr);

    void suspendBorderReactors(OdDbDatabase* database) override;
    void resumeBorderReactors(OdDbDatabase* database) override;
    bool isBorderReactorSuspended(OdDbDatabase* database) const override;
    bool elevationAt(OdDbDatabase* database, const OdGePoint3d& point, double& elevation) const override;

    int suspendCount(OdDbDatabase* database) const { return m_suspended.value(database); }

    // A flat terrain at height under every point of db (null: of every drawing without its own).
    void setFlatTerrain(OdDbDatabase* database, double height);
    void removeTerrain(OdDbDatabase* database);

signals:
    void borderReactorsSuspended(OdDbDatabase* database);
    void borderReactorsResumed(OdDbDatabase* database);

private:
    QHash<OdDbDatabase*, int> m_suspended;
    QHash<OdDbDatabase*, double> m_heights;
};
