#include "GsBaseVectorizer.h"

#include "GiContext.h"
#include "GiDrawableDrawer.h"

#include "DbDatabase.h"
#include "DbLayerTableRecord.h"

OdGsBaseVectorizer::OdGsBaseVectorizer()
{
    m_traitsStack.reserve(8);
    m_modelTransforms.reserve(8);
}

OdGsBaseVectorizer::~OdGsBaseVectorizer() = default;

OdDbDatabase* OdGsBaseVectorizer::database() const
{
    return m_context ? dynamic_cast<OdDbDatabase*>(m_context->database()) : nullptr;
}

OdGiWorldGeometry& OdGsBaseVectorizer::geometry() const
{
    return *const_cast<OdGsBaseVectorizer*>(this);
}

OdGiSubEntityTraits& OdGsBaseVectorizer::subEntityTraits() const
{
    return *const_cast<OdGsBaseVectorizer*>(this);
}

void OdGsBaseVectorizer::setColor(std::uint16_t aciIndex)
{
    m_traits.setColor(aciIndex);
    m_traitsChanged = true;
    m_effectiveValid = false;
}

void OdGsBaseVectorizer::setTrueColor(const OdCmEntityColor& color)
{
    m_traits.setTrueColor(color);
    m_traitsChanged = true;
    m_effectiveValid = false;
}

void OdGsBaseVectorizer::setLayer(OdDbObjectId layerId)
{
    m_traits.setLayer(layerId);
    m_traitsChanged = true;
    m_effectiveValid = false;
}

void OdGsBaseVectorizer::setMaterial(OdDbObjectId materialId)
{
    m_traits.setMaterial(materialId);
    m_traitsChanged = true;
    m_effectiveValid = false;
}

void OdGsBaseVectorizer::setFillType(OdGiFillType fillType)
{
    m_traits.setFillType(fillType);
    m_traitsChanged = true;
    m_effectiveValid = false;
}

void OdGsBaseVectorizer::resolveTraits() const
{
    m_effective = m_traits;
    // ByBlock takes what the enclosing drawable resolved to; at the top there is no block, so the
    // foreground colour stands in and the ByBlock material stays for the caller to map.
    const OdGiSubEntityTraitsData* enclosing =
        m_traitsStack.size() > 1 ? &m_traitsStack.back().effective : nullptr;
    OdDbDatabase* db = database();
    OdDbLayerTableRecordPtr layer;
    if (!m_traits.layer().isNull()) layer = OdDbLayerTableRecord::cast(m_traits.layer().openObject());

    const OdCmEntityColor color = m_traits.trueColor();
    if (color.isByLayer() || (color.isByACI() && color.colorIndex() == OdCmEntityColor::kACIbyLayer)) {
        if (layer)
            m_effective.setTrueColor(layer->color().entityColor());
        else
            m_effective.setColor(OdCmEntityColor::kACIforeground);
    } else if (color.isByBlock() || (color.isByACI() && color.colorIndex() == OdCmEntityColor::kACIbyBlock)) {
        if (enclosing)
            m_effective.setTrueColor(enclosing->trueColor());
        else
            m_effective.setColor(OdCmEntityColor::kACIforeground);
    }
    if (db && enclosing && !m_traits.material().isNull() && m_traits.material() == db->byBlockMaterialId())
        m_effective.setMaterial(enclosing->material());
    m_effectiveValid = true;
}

const OdGiSubEntityTraitsData& OdGsBaseVectorizer::effectiveTraits() const
{
    if (!m_effectiveValid) resolveTraits();
    return m_effective;
}

void OdGsBaseVectorizer::onTraitsModified() {}

void OdGsBaseVectorizer::flushTraits()
{
    if (m_traitsChanged) {
        m_traitsChanged = false;
        onTraitsModified();
    }
}

void OdGsBaseVectorizer::draw(const OdGiDrawable* drawable)
{
    if (!drawable) return;
    m_traitsStack.push_back(Frame{m_traits, effectiveTraits(), m_drawableFlags});
    const OdGiDrawableDrawer* drawer = OdGiDrawableDrawer::drawerFor(drawable);
    m_drawableFlags = drawer ? drawer->setAttributes(drawable, this) : drawable->setAttributes(this);
    m_effectiveValid = false;
    m_traitsChanged = true;
    if (drawer)
        drawer->worldDraw(drawable, this);
    else
        drawable->worldDraw(this);
    const Frame& saved = m_traitsStack.back();
    m_traits = saved.traits;
    m_drawableFlags = saved.flags;
    m_traitsStack.pop_back();
    m_effectiveValid = false;
    m_traitsChanged = true;
}

void OdGsBaseVectorizer::pushModelTransform(const OdGeMatrix3d& xfm)
{
    if (m_modelTransforms.empty())
        m_modelTransforms.push_back(xfm);
    else
        m_modelTransforms.push_back(m_modelTransforms.back() * xfm);
    m_identityTransform = m_modelTransforms.back().isIdentity();
}

void OdGsBaseVectorizer::popModelTransform()
{
    if (!m_modelTransforms.empty()) m_modelTransforms.pop_back();
    m_identityTransform = m_modelTransforms.empty() || m_modelTransforms.back().isIdentity();
}

OdGeMatrix3d OdGsBaseVectorizer::getModelToWorldTransform() const
{
    return m_modelTransforms.empty() ? OdGeMatrix3d::kIdentity : m_modelTransforms.back();
}

const OdGePoint3d* OdGsBaseVectorizer::toWorld(std::int32_t count, const OdGePoint3d* points)
{
    if (m_identityTransform || !points) return points;
    const OdGeMatrix3d& m = m_modelTransforms.back();
    m_points.resize(std::size_t(count));
    for (std::int32_t i = 0; i < count; ++i)
        m_points[std::size_t(i)] = m * points[i];
    return m_points.data();
}

const OdGeVector3d* OdGsBaseVectorizer::toWorld(std::int32_t count, const OdGeVector3d* vectors,
                                                std::vector<OdGeVector3d>& out)
{
    if (m_identityTransform || !vectors) return vectors;
    // Normals follow the inverse transpose, so that non-uniform scaling keeps them perpendicular.
    OdGeMatrix3d m = m_modelTransforms.back();
    m.setTranslation(OdGeVector3d());
    OdGeMatrix3d inv;
    if (m.inverse(inv, 1e-300)) m = inv.transpose();
    out.resize(std::size_t(count));
    for (std::int32_t i = 0; i < count; ++i) {
        OdGeVector3d v = m * vectors[i];
        if (!vectors[i].isZeroLength()) v.normalize();
        out[std::size_t(i)] = v;
    }
    return out.data();
}

void OdGsBaseVectorizer::polyline(std::int32_t numVertices, const OdGePoint3d* vertexList,
                                  const OdGeVector3d* normal, OdGsMarker)
{
    OdGiConveyorGeometry* out = m_output.destGeometry();
    if (!out || numVertices <= 0 || !vertexList) return;
    flushTraits();
    std::vector<OdGeVector3d> n;
    out->polylineProc(numVertices, toWorld(numVertices, vertexList), toWorld(normal ? 1 : 0, normal, n));
}

void OdGsBaseVectorizer::polygon(std::int32_t numVertices, const OdGePoint3d* vertexList)
{
    OdGiConveyorGeometry* out = m_output.destGeometry();
    if (!out || numVertices <= 0 || !vertexList) return;
    flushTraits();
    out->polygonProc(numVertices, toWorld(numVertices, vertexList), nullptr);
}

void OdGsBaseVectorizer::circle(const OdGePoint3d& center, double radius, const OdGeVector3d& normal)
{
    OdGiConveyorGeometry* out = m_output.destGeometry();
    if (!out) return;
    flushTraits();
    if (m_identityTransform) {
        out->circleProc(center, radius, normal);
        return;
    }
    const OdGeMatrix3d& m = m_modelTransforms.back();
    const OdGeVector3d radial = (m * (normal.perpVector().normal() * radius));
    const OdGeVector3d axis = (m * normal).normal();
    out->circularArcProc(m * center, radial.length(), axis, radial, 2.0 * OdaPI, kOdGiArcSimple);
}

void OdGsBaseVectorizer::circularArc(const OdGePoint3d& center, double radius, const OdGeVector3d& normal,
                                     const OdGeVector3d& startVector, double sweepAngle, OdGiArcType arcType)
{
    OdGiConveyorGeometry* out = m_output.destGeometry();
    if (!out) return;
    flushTraits();
    if (m_identityTransform) {
        out->circularArcProc(center, radius, normal, startVector, sweepAngle, arcType);
        return;
    }
    const OdGeMatrix3d& m = m_modelTransforms.back();
    const OdGeVector3d radial = m * (startVector.normal() * radius);
    out->circularArcProc(m * center, radial.length(), (m * normal).normal(), radial, sweepAngle, arcType);
}

void OdGsBaseVectorizer::ellipArc(const OdGePoint3d& center, const OdGeVector3d& majorAxis,
                                  const OdGeVector3d& minorAxis, double startAngle, double endAngle)
{
    OdGiConveyorGeometry* out = m_output.destGeometry();
    if (!out) return;
    flushTraits();
    if (m_identityTransform) {
        out->ellipArcProc(center, majorAxis, minorAxis, startAngle, endAngle);
        return;
    }
    const OdGeMatrix3d& m = m_modelTransforms.back();
    out->ellipArcProc(m * center, m * majorAxis, m * minorAxis, startAngle, endAngle);
}

void OdGsBaseVectorizer::text(const OdGePoint3d& position, const OdGeVector3d& normal,
                              const OdGeVector3d& direction, double height, double, double,
                              const OdString& message)
{
    OdGiConveyorGeometry* out = m_output.destGeometry();
    if (!out) return;
    flushTraits();
    OdGeVector3d up = normal.crossProduct(direction).normal() * height;
    if (m_identityTransform) {
        out->textProc(position, direction, up, height, message);
        return;
    }
    const OdGeMatrix3d& m = m_modelTransforms.back();
    up = m * up;
    out->textProc(m * position, m * direction, up, up.length(), message);
}

void OdGsBaseVectorizer::mesh(std::int32_t numRows, std::int32_t numColumns, const OdGePoint3d* vertexList,
                              const OdGiEdgeData* edgeData, const OdGiFaceData* faceData,
                              const OdGiVertexData* vertexData)
{
    OdGiConveyorGeometry* out = m_output.destGeometry();
    if (!out || numRows <= 0 || numColumns <= 0 || !vertexList) return;
    flushTraits();
    const std::int32_t n = numRows * numColumns;
    const OdGePoint3d* points = toWorld(n, vertexList);
    OdGiFaceData faces;
    OdGiVertexData vertices;
    if (!m_identityTransform) {
        if (faceData) {
            faces = *faceData;
            faces.setNormals(toWorld(faceData->normals() ? (numRows - 1) * (numColumns - 1) : 0,
                                     faceData->normals(), m_faceNormals));
            faceData = &faces;
        }
        if (vertexData) {
            vertices = *vertexData;
            vertices.setNormals(
                toWorld(vertexData->normals() ? n : 0, vertexData->normals(), m_vertexNormals));
            vertexData = &vertices;
        }
    }
    out->meshProc(numRows, numColumns, points, edgeData, faceData, vertexData);
}

void OdGsBaseVectorizer::shell(std::int32_t numVertices, const OdGePoint3d* vertexList,
                               std::int32_t faceListSize, const std::int32_t* faceList,
                               const OdGiEdgeData* edgeData, const OdGiFaceData* faceData,
                               const OdGiVertexData* vertexData)
{
    OdGiConveyorGeometry* out = m_output.destGeometry();
    if (!out || numVertices <= 0 || !vertexList || faceListSize <= 0 || !faceList) return;
    flushTraits();
    const OdGePoint3d* points = toWorld(numVertices, vertexList);
    OdGiFaceData faces;
    OdGiVertexData vertices;
    if (!m_identityTransform) {
        if (faceData && faceData->normals()) {
            std::int32_t numFaces = 0;
            for (std::int32_t i = 0; i < faceListSize; i += std::abs(faceList[i]) + 1)
                numFaces += faceList[i] > 0 ? 1 : 0;
            faces = *faceData;
            faces.setNormals(toWorld(numFaces, faceData->normals(), m_faceNormals));
            faceData = &faces;
        }
        if (vertexData) {
            vertices = *vertexData;
            vertices.setNormals(
                toWorld(vertexData->normals() ? numVertices : 0, vertexData->normals(), m_vertexNormals));
            vertexData = &vertices;
        }
    }
    out->shellProc(numVertices, points, faceListSize, faceList, edgeData, faceData, vertexData);
}
