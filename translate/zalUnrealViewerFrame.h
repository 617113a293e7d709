#pragma once

#include "zalExport.h"

#include "Ge/GeMatrix3d.h"

// The viewer's frame: X mirrored and centimetres. Points cross multiplied by viewerFrameMatrix
// (diag(-100, 100, 100)), normals by viewerNormalMatrix (x -> -x).
class ZAL_EXPORT zalUnrealViewerFrame
{
public:
    static const OdGeMatrix3d& viewerNormalMatrix();
    static const OdGeMatrix3d& viewerFrameMatrix();

    // m re-expressed in the viewer frame (F * m * F^-1) written as 16 floats in row order (translation in 3,
    // 7 and 11); entries of magnitude at most 1e-10 are written as 0.
    static void toViewerMatrix(const OdGeMatrix3d& m, float out[16]);
    // The 16 floats of m as it is, with the same rounding to 0.
    static void toFloats(const OdGeMatrix3d& m, float out[16]);
};
