#include "AssetSpawnInfo.h"

AssetSpawnInfo::AssetSpawnInfo() = default;

AssetSpawnInfo::AssetSpawnInfo(const OdDbObjectId& xblock, double density_, double minScale_,
                               double rotationJitter_, double maxScale_, bool alignToSurface_,
                               bool followTerrain_)
    : xblockId(xblock), density(density_), minScale(minScale_), maxScale(maxScale_),
      rotationJitter(rotationJitter_), alignToSurface(alignToSurface_), followTerrain(followTerrain_)
{
}

AssetSpawnInfo::~AssetSpawnInfo() = default;
