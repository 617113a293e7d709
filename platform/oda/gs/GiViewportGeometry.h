#pragma once

#include "GiGeometry.h"

// Geometry of a viewport draw: the world primitives, and primitives given directly in the eye
// coordinates of the viewport (screen-aligned glyphs, rubber bands).
class ODGS_EXPORT OdGiViewportGeometry : public OdGiGeometry
{
public:
    virtual void polylineEye(std::uint32_t numVertices, const OdGePoint3d* vertexList) = 0;
    virtual void polygonEye(std::uint32_t numVertices, const OdGePoint3d* vertexList) = 0;
};
