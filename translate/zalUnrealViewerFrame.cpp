#include "translate/zalUnrealViewerFrame.h"

#include <cmath>

const OdGeMatrix3d& zalUnrealViewerFrame::viewerNormalMatrix()
{
    static const OdGeMatrix3d m =
        OdGeMatrix3d::mirroring(OdGePlane(OdGePoint3d::kOrigin, OdGeVector3d::kXAxis));
    return m;
}

const OdGeMatrix3d& zalUnrealViewerFrame::viewerFrameMatrix()
{
    static const OdGeMatrix3d m = viewerNormalMatrix() * OdGeMatrix3d::scaling(100.0);
    return m;
}

void zalUnrealViewerFrame::toFloats(const OdGeMatrix3d& m, float out[16])
{
    for (unsigned r = 0; r < 4; ++r) {
        for (unsigned c = 0; c < 4; ++c) {
            const double v = m(r, c);
            out[r * 4 + c] = std::fabs(v) <= 1e-10 ? 0.0f : float(v);
        }
    }
}

void zalUnrealViewerFrame::toViewerMatrix(const OdGeMatrix3d& m, float out[16])
{
    static const OdGeMatrix3d inverse = viewerFrameMatrix().inverse();
    toFloats(viewerFrameMatrix() * m * inverse, out);
}
