#pragma once

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
// A value type defined entirely here, so that the spawner's library and the render module (whose
// spawning header hands it on to its users) share it without either library linking the other.
class AssetSpawnInfo
{
public:
    AssetSpawnInfo() = default;
    // The spawn parameters in the order density, minimum scale, rotation jitter, maximum scale.
    AssetSpawnInfo(const OdDbObjectId& xblock, double density_, double minScale_, double rotationJitter_,
                   double maxScale_, bool alignToSurface_ = false, bool followTerrain_ = false)
        : xblockId(xblock), density(density_), minScale(minScale_), maxScale(maxScale_),
          rotationJitter(rotationJitter_), alignToSurface(alignToSurface_), followTerrain(followTerrain_)
    {
    }
    AssetSpawnInfo(const AssetSpawnInfo&) = default;
    AssetSpawnInfo(AssetSpawnInfo&&) = default;
    AssetSpawnInfo& operator=(const AssetSpawnInfo&) = default;
    AssetSpawnInfo& operator=(AssetSpawnInfo&&) = default;
    ~AssetSpawnInfo() = default;

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
