#include "zalGripPointUtils.h"

#include "GenericGripData.h"

#include "GiViewportDraw.h"

#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;

OdGiViewport& viewportOf(OdGiViewportDraw* vd)
{
    return vd->viewport();
}

void polygon(OdGiViewportDraw* vd, std::initializer_list<OdGePoint3d> points)
{
    vd->geometry().polygonEye(std::uint32_t(points.size()), points.begin());
}

// ACI colour of a glyph by draw type and shape; 0 leaves the current colour.
std::uint16_t gripColor(OdDbGripOperations::DrawType type, zalGripPointUtils::GripShape shape)
{
    switch (type) {
    case OdDbGripOperations::kWarmGrip:
    case OdDbGripOperations::kDragImageGrip:
        return shape == zalGripPointUtils::kCircle ? 3 : shape == zalGripPointUtils::kTriangle ? 2 : 5;
    case OdDbGripOperations::kHoverGrip:
        return 1;
    case OdDbGripOperations::kHotGrip:
        return 6;
    }
    return 0;
}

void drawGrip(OdDbGripData* grip, OdGiViewportDraw* vd, OdDbGripOperations::DrawType type,
              OdGePoint3d* imageGripPoint, int gripSize, zalGripPointUtils::GripShape shape)
{
    if (!grip || !vd) return;
    const OdGeMatrix3d worldToEye = viewportOf(vd).getWorldToEyeTransform();
    OdGePoint3d position = imageGripPoint ? *imageGripPoint : grip->gripPoint();
    position.transformBy(worldToEye);

    OdGiSubEntityTraits& traits = vd->subEntityTraits();
    if (const std::uint16_t color = gripColor(type, shape)) traits.setColor(color);

    if (const OdGePoint3d* base = grip->alternateBasePoint(); base && type != OdDbGripOperations::kWarmGrip) {
        traits.setFillType(kOdGiFillNever);
        if (shape == zalGripPointUtils::kCircle) {
            const OdGePoint3d baseEye = OdGePoint3d(*base).transformBy(worldToEye);
            const OdGePoint3d band[2] = {position, baseEye};
            vd->geometry().polylineEye(2, band);
            // The circle the grip moves on about the base point; the last sample closes it.
            const double radius = grip->gripPoint().distanceTo(*base);
            OdGePoint3d samples[32];
            for (int i = 0; i < 32; ++i) {
                const double angle = 2.0 * kPi * i / 31.0;
                samples[i] = OdGePoint3d(baseEye.x + radius * std::cos(angle),
                                         baseEye.y + radius * std::sin(angle), baseEye.z);
            }
            vd->geometry().polylineEye(32, samples);
        } else {
            const OdGePoint3d baseAtGrip =
                OdGePoint3d(base->x, base->y, grip->gripPoint().z).transformBy(worldToEye);
            polygon(vd, {position, baseAtGrip});
        }
    }

    traits.setFillType(kOdGiFillAlways);
    switch (shape) {
    case zalGripPointUtils::kCircle:
        zalGripPointUtils::drawCircle(vd, position, gripSize);
        break;
    case zalGripPointUtils::kTriangle:
        zalGripPointUtils::drawTriangle(vd, position, gripSize, OdGeVector3d::kYAxis);
        break;
    default:
        zalGripPointUtils::drawSquare(vd, position, gripSize);
        break;
    }
}

} // namespace

OdSharedPtr<OdDbGripData> zalGripPointUtils::createGripData(const OdGePoint3d& point, GripShape shape,
                                                            OdArray<OdVariant> values, OdString name)
{
    GenericGripDataPtr payload = GenericGripData::createObject();
    payload->state = 0;
    payload->values = values;
    payload->name = name;

    OdSharedPtr<OdDbGripData> grip(new OdDbGripData());
    grip->setGripPoint(point);
    // The grip keeps the payload's reference until gripPointOpStatus gives it back.
    grip->setAppData(payload.detach());
    grip->setAppDataOdRxClass(GenericGripData::desc());
    grip->setHotGripFunc(&gripPointSetHotGrip);
    grip->setGripOpStatFunc(&gripPointOpStatus);
    switch (shape) {
    case kCircle:
        grip->setViewportDraw(&gripPointCircleViewportDraw);
        break;
    case kTriangle:
        grip->setViewportDraw(&gripPointTriangleViewportDraw);
        break;
    default:
        grip->setViewportDraw(&gripPointSquareViewportDraw);
        break;
    }
    grip->setGizmosEnabled(true);
    grip->setGripIsPerViewport(grip->viewportDraw() != nullptr);
    return grip;
}

OdSharedPtr<OdDbGripData> zalGripPointUtils::createGripData(const OdGePoint3d& point, GripShape shape,
                                                            OdVariant value, OdString name)
{
    OdArray<OdVariant> values;
    values.append(value);
    return createGripData(point, shape, values, name);
}

double zalGripPointUtils::getGripSize(OdGiViewportDraw* vd, const OdGePoint3d& point, int size)
{
    OdGiViewport& viewport = viewportOf(vd);
    const OdGePoint3d world = OdGePoint3d(point).transformBy(viewport.getEyeToWorldTransform());
    OdGePoint2d pixels;
    viewport.getNumPixelsInUnitSquare(world, pixels, true);
    if (pixels.x == 0.0) return 0.0;
    OdGeVector3d extent(double(size) / pixels.x, 0.0, 0.0);
    extent.transformBy(viewport.getWorldToEyeTransform());
    return extent.length();
}

void zalGripPointUtils::drawSquare(OdGiViewportDraw* vd, const OdGePoint3d& point, int size)
{
    const double s = getGripSize(vd, point, size);
    const double x = point.x, y = point.y, z = point.z;
    polygon(vd, {{x - s, y - s, z}, {x - s, y + s, z}, {x + s, y + s, z}, {x + s, y - s, z}});
}

void zalGripPointUtils::drawCircle(OdGiViewportDraw* vd, const OdGePoint3d& point, int size)
{
    const double s = getGripSize(vd, point, size);
    OdGePoint3d samples[8];
    for (int i = 0; i < 8; ++i) {
        const double angle = 2.0 * kPi * i / 8.0;
        samples[i] = OdGePoint3d(point.x + s * std::cos(angle), point.y + s * std::sin(angle), point.z);
    }
    vd->geometry().polygonEye(8, samples);
}

void zalGripPointUtils::drawTriangle(OdGiViewportDraw* vd, const OdGePoint3d& point, int size,
                                     const OdGeVector3d& direction)
{
    const double s = getGripSize(vd, point, size);
    const OdGeVector3d d = direction.normal() * s;
    const OdGeVector3d second = OdGeVector3d(d).rotateBy(3.0 * kPi / 4.0, OdGeVector3d::kZAxis);
    const OdGeVector3d third = OdGeVector3d(second).rotateBy(kPi / 2.0, OdGeVector3d::kZAxis);
    polygon(vd, {point + d, point + second, point + third});
}

void zalGripPointUtils::drawCross(OdGiViewportDraw* vd, const OdGePoint3d& point, int size)
{
    const double s = getGripSize(vd, point, size);
    const OdGeVector3d along[2] = {OdGeVector3d(2.0 * s, 0.0, 0.0), OdGeVector3d(0.0, 2.0 * s, 0.0)};
    for (const OdGeVector3d& v : along)
        polygon(vd, {point - v, point + v});
    for (const OdGeVector3d& v : along) {
        drawTriangle(vd, point + v, size, v);
        drawTriangle(vd, point - v, size, -v);
    }
}

void zalGripPointUtils::drawMenuTriangle(OdGiViewportDraw* vd, const OdGePoint3d& point, int size)
{
    const double s = getGripSize(vd, point, size);
    const double x = point.x, y = point.y, z = point.z;
    polygon(
        vd,
        {{x - s, y - s / 6.0, z}, {x - s, y + s / 6.0, z}, {x + s, y + s / 6.0, z}, {x + s, y - s / 6.0, z}});
    polygon(vd, {{x - s, y - 3.0 * s / 6.0, z}, {x + s, y - 3.0 * s / 6.0, z}, {x, y - 2.0 * s, z}});
}

void zalGripPointUtils::drawFlipArrow(OdGiViewportDraw* vd, const OdGePoint3d& point, int size,
                                      const OdGeVector3d& direction)
{
    const double s = getGripSize(vd, point, size);
    const OdGeVector3d d = direction.normal() * s;
    const OdGeVector3d p = OdGeVector3d(d).rotateBy(kPi / 2.0, OdGeVector3d::kZAxis) * 0.75;
    polygon(vd, {point + p / 2.0, point + p, point + d, point - p, point - p / 2.0, point - d - p / 2.0,
                 point - d + p / 2.0});
}

void zalGripPointUtils::gripPointSquareViewportDraw(OdDbGripData* grip, OdGiViewportDraw* vd, OdDbStub*,
                                                    OdDbGripOperations::DrawType type,
                                                    OdGePoint3d* imageGripPoint, int gripSize)
{
    drawGrip(grip, vd, type, imageGripPoint, gripSize, kSquare);
}

void zalGripPointUtils::gripPointCircleViewportDraw(OdDbGripData* grip, OdGiViewportDraw* vd, OdDbStub*,
                                                    OdDbGripOperations::DrawType type,
                                                    OdGePoint3d* imageGripPoint, int gripSize)
{
    drawGrip(grip, vd, type, imageGripPoint, gripSize, kCircle);
}

void zalGripPointUtils::gripPointTriangleViewportDraw(OdDbGripData* grip, OdGiViewportDraw* vd, OdDbStub*,
                                                      OdDbGripOperations::DrawType type,
                                                      OdGePoint3d* imageGripPoint, int gripSize)
{
    drawGrip(grip, vd, type, imageGripPoint, gripSize, kTriangle);
}

void zalGripPointUtils::gripPointOpStatus(OdDbGripData* grip, OdDbStub*,
                                          OdDbGripOperations::GripStatus status)
{
    if (!grip || grip->appDataOdRxClass() != GenericGripData::desc() || !grip->appData()) return;
    if (status != OdDbGripOperations::kGripEnd && status != OdDbGripOperations::kGripAbort) return;
    static_cast<GenericGripData*>(grip->appData())->release();
    grip->setAppData(nullptr);
}

OdResult zalGripPointUtils::gripPointSetHotGrip(OdDbGripData* grip, OdDbStub*, int)
{
    if (!grip || !grip->appData() || !GenericGripData::desc() ||
        grip->appDataOdRxClass() != GenericGripData::desc())
        return eWrongObjectType;
    static_cast<GenericGripData*>(grip->appData())->state = 2;
    return eOk;
}
