#pragma once

#include "zalHostApiExport.h"

#include <QObject>

class OdDbDatabase;
class OdGePoint3d;

#define IzalTerrainModellerModule_id "zal.ITerrainModeller"

// The host's terrain: border reactors that keep the terrain in step with edits, and its surface.
class ZAL_HOSTAPI IzalTerrainModellerModule
{
public:
    virtual ~IzalTerrainModellerModule() = default;

    // Nested: the reactors run again after as many resumes as suspends.
    virtual void suspendBorderReactors(OdDbDatabase* database) = 0;
    virtual void resumeBorderReactors(OdDbDatabase* database) = 0;
    virtual bool isBorderReactorSuspended(OdDbDatabase* database) const = 0;

    // Height of the terrain under point (x, y); false when db has no terrain there.
    virtual bool elevationAt(OdDbDatabase* database, const OdGePoint3d& point, double& elevation) const = 0;
};

Q_DECLARE_INTERFACE(IzalTerrainModellerModule, IzalTerrainModellerModule_id)
