#pragma once

#include "zalOdDbExExport.h"

#include "DbObjectId.h"
#include "Ge/GeMatrix3d.h"
#include "Ge/GeVector3d.h"
#include "OdArray.h"

#include <QVector>

#include <utility>

// How a spawn entry places its instances.
enum InstancePlacementMode : int
{
    kPlacementScatter = 0,
    kPlacementGrid = 1,
    kPlacementAlongPath = 2,
    kPlacementExplicit = 3
};

// One entry of an assets spawner: the XBlock it spawns and the placements produced for it.
class ZALODDBEX_EXPORT AssetSpawnInfo
{
public:
    AssetSpawnInfo();
    // The spawn parameters in the order density, minimum scale, rotation jitter, maximum scale.
    AssetSpawnInfo(const OdDbObjectId& xblockId, double density, double minScale, double rotationJitter,
                   double maxScale, bool alignToSurface = false, bool followTerrain = false);
    AssetSpawnInfo(const AssetSpawnInfo&) = default;
    AssetSpawnInfo(AssetSpawnInfo&&) = default;
    AssetSpawnInfo& operator=(const AssetSpawnInfo&) = default;
    AssetSpawnInfo& operator=(AssetSpawnInfo&&) = default;
    ~AssetSpawnInfo();

    OdDbObjectId xblockId;
    double density = 0.0;
    double minScale = 1.0;
    double maxScale = 1.0;
    double rotationJitter = 0.0;
    bool alignToSurface = false;
    bool followTerrain = false;
    // Source placements (the areas or paths the entry was made from).
    QVector<OdGeMatrix3d> transforms;
    // The placements produced for this entry; the viewer gets these.
    QVector<OdGeMatrix3d> instanceTransforms;
    OdGeVector3d direction;
    InstancePlacementMode placementMode = kPlacementScatter;
    OdArray<OdGeVector3d> offsets;
    double spacing = 0.0;
    OdArray<std::pair<double, double>> scaleRanges;
};
