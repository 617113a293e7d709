#include "zalSketchView.h"

#include "DbBlockReference.h"
#include "DbBlockTableRecord.h"
#include "DbLayerTableRecord.h"
#include "DbLight.h"
#include "DbObjectIterator.h"
#include "GiSubEntityTraitsData.h"

#include <algorithm>
#include <cmath>

namespace {
const int kSegments = 48;
}

zalSketchView::zalSketchView()
{
    output().setDestGeometry(*this);
}

zalSketchView::~zalSketchView() = default;

void zalSketchView::beginViewVectorization()
{
    OdGsBaseVectorizeViewDef::beginViewVectorization();
    m_primitives.clear();
    m_depth = 0;
}

bool zalSketchView::isLayerShown(const OdDbObjectId& layerId) const
{
    if (layerId.isNull()) return true;
    OdDbObjectPtr object = layerId.openObject();
    auto* layer = dynamic_cast<OdDbLayerTableRecord*>(object.get());
    return !layer || (!layer->isOff() && !layer->isFrozen());
}

void zalSketchView::draw(const OdGiDrawable* drawable)
{
    if (!drawable) return;
    if (auto* block = dynamic_cast<const OdDbBlockTableRecord*>(drawable)) {
        for (OdDbObjectIteratorPtr it = block->newIterator(); !it->done(); it->step()) {
            OdDbEntityPtr entity = it->entity();
            if (!entity.isNull()) draw(entity.get());
        }
        return;
    }
    auto* entity = dynamic_cast<const OdDbEntity*>(drawable);
    if (entity) {
        if (entity->visibility() == OdDb::kInvisible || !isLayerShown(entity->layerId())) return;
        if (m_depth == 0) m_entity = entity->objectId();
    } else if (m_depth == 0) {
        // A drawable of the view's own (a tracker's) belongs to no entity of the drawing.
        m_entity = OdDbObjectId();
    }
    ++m_depth;
    if (auto* ref = dynamic_cast<const OdDbBlockReference*>(drawable)) {
        OdDbObjectPtr object = ref->blockTableRecord().openObject();
        if (auto* block = dynamic_cast<OdDbBlockTableRecord*>(object.get())) {
            pushModelTransform(ref->blockTransform());
            draw(block);
            popModelTransform();
        }
    } else if (auto* light = dynamic_cast<const OdDbLight*>(drawable)) {
        OdGePoint3d p = light->position();
        p.transformBy(getModelToWorldTransform());
        zalSketchPrimitive marker;
        marker.kind = zalSketchPrimitive::Marker;
        marker.color = light->isOn() ? qRgb(255, 214, 90) : qRgb(120, 120, 120);
        marker.entity = m_entity;
        marker.points.push_back(p);
        m_primitives.push_back(std::move(marker));
    } else {
        OdGsBaseVectorizeViewDef::draw(drawable);
    }
    --m_depth;
}

QRgb zalSketchView::primitiveColor() const
{
    const OdCmEntityColor c = effectiveTraits().trueColor();
    if (c.isByColor()) return qRgb(c.red(), c.green(), c.blue());
    if (c.isByACI()) {
        const OdUInt16 index = c.colorIndex();
        // White (7) shows as light grey on the dark background.
        if (index == 7 || index == 0 || index > 255) return qRgb(220, 220, 220);
        const OdUInt32 rgb = OdCmEntityColor::lookUpRGB(OdUInt8(index));
        return qRgb((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
    }
    return qRgb(220, 220, 220);
}

void zalSketchView::addPrimitive(zalSketchPrimitive::Kind kind, std::vector<OdGePoint3d> points, bool closed)
{
    if (points.size() < (kind == zalSketchPrimitive::Face ? 3u : 2u)) return;
    zalSketchPrimitive p;
    p.kind = kind;
    p.closed = closed;
    p.color = primitiveColor();
    p.entity = m_entity;
    p.points = std::move(points);
    m_primitives.push_back(std::move(p));
}

void zalSketchView::polylineProc(std::int32_t numPoints, const OdGePoint3d* vertexList, const OdGeVector3d*)
{
    addPrimitive(zalSketchPrimitive::Lines, std::vector<OdGePoint3d>(vertexList, vertexList + numPoints),
                 false);
}

void zalSketchView::polygonProc(std::int32_t numPoints, const OdGePoint3d* vertexList, const OdGeVector3d*)
{
    addPrimitive(zalSketchPrimitive::Face, std::vector<OdGePoint3d>(vertexList, vertexList + numPoints),
                 true);
}

void zalSketchView::meshProc(std::int32_t numRows, std::int32_t numColumns, const OdGePoint3d* vertexList,
                             const OdGiEdgeData*, const OdGiFaceData*, const OdGiVertexData*)
{
    for (std::int32_t r = 0; r + 1 < numRows; ++r)
        for (std::int32_t c = 0; c + 1 < numColumns; ++c)
            addPrimitive(zalSketchPrimitive::Face,
                         {vertexList[r * numColumns + c], vertexList[r * numColumns + c + 1],
                          vertexList[(r + 1) * numColumns + c + 1], vertexList[(r + 1) * numColumns + c]},
                         true);
}

void zalSketchView::shellProc(std::int32_t numVertices, const OdGePoint3d* vertexList,
                              std::int32_t faceListSize, const std::int32_t* faceList, const OdGiEdgeData*,
                              const OdGiFaceData*, const OdGiVertexData*)
{
    std::int32_t i = 0;
    while (i < faceListSize) {
        const std::int32_t count = faceList[i++];
        const std::int32_t n = count < 0 ? -count : count;
        if (n == 0 || i + n > faceListSize) break;
        std::vector<OdGePoint3d> loop;
        loop.reserve(size_t(n));
        for (std::int32_t k = 0; k < n; ++k) {
            const std::int32_t index = faceList[i + k];
            if (index >= 0 && index < numVertices) loop.push_back(vertexList[index]);
        }
        // Holes show as outlines only.
        addPrimitive(count < 0 ? zalSketchPrimitive::Lines : zalSketchPrimitive::Face, std::move(loop), true);
        i += n;
    }
}

void zalSketchView::addEllipse(const OdGePoint3d& center, const OdGeVector3d& major,
                               const OdGeVector3d& minor, double start, double sweep, bool closed)
{
    const int segments = std::max(4, int(std::ceil(kSegments * std::fabs(sweep) / (2.0 * OdaPI))));
    std::vector<OdGePoint3d> points;
    for (int k = 0; k <= segments; ++k) {
        const double a = start + sweep * k / segments;
        points.push_back(center + major * std::cos(a) + minor * std::sin(a));
    }
    addPrimitive(zalSketchPrimitive::Lines, std::move(points), closed);
}

void zalSketchView::circleProc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal)
{
    const OdGeVector3d x = normal.perpVector() * radius;
    const OdGeVector3d y = normal.normal().crossProduct(x);
    addEllipse(center, x, y, 0.0, 2.0 * OdaPI, true);
}

void zalSketchView::circularArcProc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal,
                                    const OdGeVector3d& startVector, double sweepAngle, OdGiArcType)
{
    const OdGeVector3d x = startVector.normal() * radius;
    const OdGeVector3d y = normal.normal().crossProduct(x);
    addEllipse(center, x, y, 0.0, sweepAngle, false);
}

void zalSketchView::ellipArcProc(const OdGePoint3d& center, const OdGeVector3d& majorAxis,
                                 const OdGeVector3d& minorAxis, double startAngle, double endAngle)
{
    double sweep = endAngle - startAngle;
    if (sweep <= 0) sweep += 2.0 * OdaPI;
    addEllipse(center, majorAxis, minorAxis, startAngle, sweep, false);
}

void zalSketchView::textProc(const OdGePoint3d& position, const OdGeVector3d& direction,
                             const OdGeVector3d& upVector, double height, const OdString& message)
{
    // Text shows as the box it takes (glyphs would need a font engine the host does not have).
    const double width = 0.6 * height * std::max(1, int(message.getLength()));
    const OdGeVector3d along = direction.normal() * width;
    const OdGeVector3d up = upVector.normal() * height;
    addPrimitive(zalSketchPrimitive::Lines,
                 {position, position + along, position + along + up, position + up}, true);
}
