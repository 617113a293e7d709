#pragma once

#include "zalOdDbExExport.h"

#include "DbGripData.h"
#include "Ge/GeVector3d.h"
#include "OdArray.h"
#include "OdString.h"
#include "OdVariant.h"
#include "SharedPtr.h"

class OdGiViewportDraw;

// Grip points with a generic payload (GenericGripData) that draw themselves as screen-aligned glyphs,
// for entity classes of other modules. Sizes are in pixels and stay constant on screen at any zoom.
// GenericGripData::rxInit must have run before createGripData.
class ZALODDBEX_EXPORT zalGripPointUtils
{
public:
    enum GripShape : int
    {
        kSquare = 0,
        kCircle = 1,
        kTriangle = 2
    };

    // The caller owns the grip data; the payload lives until the grip ends (gripPointOpStatus).
    // A shape outside the enumeration gives a square.
    static OdSharedPtr<OdDbGripData> createGripData(const OdGePoint3d& point, GripShape shape,
                                                    OdArray<OdVariant> values, OdString name);
    static OdSharedPtr<OdDbGripData> createGripData(const OdGePoint3d& point, GripShape shape,
                                                    OdVariant value, OdString name);

    // Half-size in eye units of a glyph of size pixels at point (eye coordinates).
    static double getGripSize(OdGiViewportDraw* vd, const OdGePoint3d& point, int size);

    // Glyphs about point (eye coordinates), drawn with the eye-space polygon primitive.
    static void drawSquare(OdGiViewportDraw* vd, const OdGePoint3d& point, int size);
    static void drawCircle(OdGiViewportDraw* vd, const OdGePoint3d& point, int size);
    static void drawTriangle(OdGiViewportDraw* vd, const OdGePoint3d& point, int size,
                             const OdGeVector3d& direction);
    static void drawCross(OdGiViewportDraw* vd, const OdGePoint3d& point, int size);
    static void drawMenuTriangle(OdGiViewportDraw* vd, const OdGePoint3d& point, int size);
    static void drawFlipArrow(OdGiViewportDraw* vd, const OdGePoint3d& point, int size,
                              const OdGeVector3d& direction);

    // Viewport-draw callbacks of the grips createGripData makes.
    static void gripPointSquareViewportDraw(OdDbGripData* grip, OdGiViewportDraw* vd, OdDbStub* entityId,
                                            OdDbGripOperations::DrawType type, OdGePoint3d* imageGripPoint,
                                            int gripSize);
    static void gripPointCircleViewportDraw(OdDbGripData* grip, OdGiViewportDraw* vd, OdDbStub* entityId,
                                            OdDbGripOperations::DrawType type, OdGePoint3d* imageGripPoint,
                                            int gripSize);
    static void gripPointTriangleViewportDraw(OdDbGripData* grip, OdGiViewportDraw* vd, OdDbStub* entityId,
                                              OdDbGripOperations::DrawType type, OdGePoint3d* imageGripPoint,
                                              int gripSize);
    // Releases the payload when the grip's edit ends or is aborted.
    static void gripPointOpStatus(OdDbGripData* grip, OdDbStub* entityId,
                                  OdDbGripOperations::GripStatus status);
    // Marks a generic grip hot; eWrongObjectType for grips with another payload.
    static OdResult gripPointSetHotGrip(OdDbGripData* grip, OdDbStub* entityId, int flags);
};
