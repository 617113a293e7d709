#pragma once

#include "GiCommon.h"

// Tessellation parameters of the solid modeler module "ModelerGeometry": seven 8-byte fields, as the
// module stores them.
struct OdModelerTessellationParams
{
    double surfaceTolerance = 0.0;
    double maxEdgeLength = 0.0;
    double normalTolerance = 0.0; // degrees
    double gridAspectRatio = 0.0;
    double maxNumGridLines = 0.0;
    double bestPointsPerEdge = 0.0;
    double pointsPerEdge = 0.0;
};
static_assert(sizeof(OdModelerTessellationParams) == 56, "seven 8-byte fields");

// The interface the "ModelerGeometry" module object offers; the module lives in its own shared library
// and is found through the dynamic linker.
class ODGS_EXPORT OdModelerGeometryModule
{
public:
    virtual ~OdModelerGeometryModule() = default;
    virtual OdModelerTessellationParams tessellationParams() const = 0;
    virtual void setTessellationParams(const OdModelerTessellationParams& params) = 0;
};
