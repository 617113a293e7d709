#include "translate/zalUnrealRenderSimplifier.h"

#include "module/zalUnrealRenderModule.h"
#include "translate/zalUnrealDrawingState.h"

#include "gs/GiGeometry.h"

#include "DbDatabase.h"

#include <cmath>

namespace {

const OdGeTol kCollinearTol(1e-6, 1e-6);

// Points cross into the viewer frame as diag(-100, 100, 100), normals as the X mirror.
inline OdGePoint3d toViewerPoint(const OdGePoint3d& p)
{
    return OdGePoint3d(-100.0 * p.x, 100.0 * p.y, 100.0 * p.z);
}

inline OdGeVector3d toViewerNormal(const OdGeVector3d& n)
{
    return OdGeVector3d(-n.x, n.y, n.z);
}

// The geometry of the hot loop, inline: the database layer's versions are calls into another library.
inline double dot(const OdGeVector3d& a, const OdGeVector3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline OdGeVector3d cross(const OdGeVector3d& a, const OdGeVector3d& b)
{
    return OdGeVector3d(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

inline bool samePoint(const OdGePoint3d& a, const OdGePoint3d& b, double tol)
{
    const OdGeVector3d d = a - b;
    return dot(d, d) <= tol * tol;
}

inline bool isZero(const OdGeVector3d& v, double tol)
{
    return dot(v, v) <= tol * tol;
}

// The third point within 1e-6 of the line through the first two.
bool isCollinear(const OdGePoint3d& p0, const OdGePoint3d& p1, const OdGePoint3d& p2)
{
    const OdGeVector3d direction = p1 - p0;
    const double length = std::sqrt(dot(direction, direction));
    if (length <= kCollinearTol.equalPoint()) return true;
    const OdGeVector3d c = cross(p2 - p0, direction);
    return std::sqrt(dot(c, c)) / length <= kCollinearTol.equalPoint();
}

// Parallel within the vector tolerance: the sine of the angle between them.
inline bool areParallel(const OdGeVector3d& a, const OdGeVector3d& b, double tol)
{
    const OdGeVector3d c = cross(a, b);
    return dot(c, c) <= tol * tol * dot(a, a) * dot(b, b);
}

// The id string of a face material; faces of one shell mostly share a few materials, so the last answer
// is kept rather than asking the host for every triangle.
QString materialIdString(const OdDbObjectId& id)
{
    // Two entries: faces often alternate between two materials.
    static OdDbObjectId ids[2];
    static QString names[2];
    for (int k = 0; k < 2; ++k) {
        if (id == ids[k] && !names[k].isEmpty()) return names[k];
    }
    ids[1] = ids[0];
    names[1] = names[0];
    names[0] = zalUnrealRenderModule::objectId2String(id);
    ids[0] = id;
    return names[0];
}

} // namespace

zalUnrealRenderSimplifier::zalUnrealRenderSimplifier() = default;

zalUnrealRenderSimplifier::~zalUnrealRenderSimplifier() = default;

void zalUnrealRenderSimplifier::xlineProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction)
{
    xlineProc(basePoint, basePoint + direction);
}

void zalUnrealRenderSimplifier::rayProc2(const OdGePoint3d& basePoint, const OdGeVector3d& direction)
{
    rayProc(basePoint, basePoint + direction);
}

void zalUnrealRenderSimplifier::generateMeshFaces(std::int32_t numRows, std::int32_t numColumns,
                                                  const OdGiFaceData* faceData)
{
    m_currentFaceData = faceData;
    m_faceCounter = 0;
    OdGiGeometrySimplifier::generateMeshFaces(numRows, numColumns, faceData);
    m_currentFaceData = nullptr;
}

void zalUnrealRenderSimplifier::meshFaceOut(const std::int32_t* faceList, const OdGeVector3d* normal)
{
    OdGiGeometrySimplifier::meshFaceOut(faceList, normal);
    ++m_faceCounter;
}

void zalUnrealRenderSimplifier::generateShellFaces(std::int32_t faceListSize, const std::int32_t* faceList,
                                                   const OdGiEdgeData* edgeData, const OdGiFaceData* faceData)
{
    m_currentFaceData = faceData;
    m_faceCounter = 0;
    OdGiGeometrySimplifier::generateShellFaces(faceListSize, faceList, edgeData, faceData);
    m_currentFaceData = nullptr;
}

void zalUnrealRenderSimplifier::shellFaceOut(std::int32_t faceListSize, const std::int32_t* faceList,
                                             const OdGeVector3d* normal)
{
    OdGiGeometrySimplifier::shellFaceOut(faceListSize, faceList, normal);
    ++m_faceCounter;
}

void zalUnrealRenderSimplifier::triangleOut(const std::int32_t* indices, const OdGeVector3d* normal)
{
    acceptTriangle(indices, normal);
}

void zalUnrealRenderSimplifier::acceptTriangle(const std::int32_t* indices, const OdGeVector3d* faceNormal)
{
    const OdGePoint3d* vertices = vertexDataList();
    if (!vertices) return;
    const OdGePoint3d& a = vertices[indices[0]];
    const OdGePoint3d& b = vertices[indices[1]];
    const OdGePoint3d& c = vertices[indices[2]];
    const double tol = OdGeContext::gTol.equalPoint();
    if (samePoint(a, b, tol) || samePoint(a, c, tol) || samePoint(b, c, tol) || isCollinear(a, b, c)) return;

    zalUnrealDrawingState& state = zalUnrealDrawingState::instance();
    state.pendingFaces.emplace_back();
    PendingFace& face = state.pendingFaces.back();
    face.reversed = false;
    face.points.resize(3);
    face.points[0] = toViewerPoint(a);
    face.points[1] = toViewerPoint(b);
    face.points[2] = toViewerPoint(c);

    const OdGiVertexData* data = vertexData();
    const OdGeVector3d* vertexNormals = data ? data->normals() : nullptr;
    face.normals.resize(3);
    const double vtol = OdGeContext::gTol.equalVector();
    if (vertexNormals && !isZero(vertexNormals[indices[0]], vtol) &&
        !isZero(vertexNormals[indices[1]], vtol) && !isZero(vertexNormals[indices[2]], vtol)) {
        for (int k = 0; k < 3; ++k)
            face.normals[k] = vertexNormals[indices[k]];
    } else if (faceNormal) {
        for (int k = 0; k < 3; ++k)
            face.normals[k] = *faceNormal;
    } else {
        // The plane of the points already in the viewer frame; mirrored once more below.
        const OdGeVector3d e1 = face.points[1] - face.points[0];
        const OdGeVector3d e2 = face.points[2] - face.points[0];
        OdGeVector3d n;
        if (!isZero(e1, vtol) && !isZero(e2, vtol) && !areParallel(e1, e2, vtol)) {
            n = cross(e1, e2);
            n /= std::sqrt(dot(n, n));
        }
        for (int k = 0; k < 3; ++k)
            face.normals[k] = n;
    }
    for (int k = 0; k < 3; ++k)
        face.normals[k] = toViewerNormal(face.normals[k]);

    const OdGePoint3d* mapping = data ? data->mappingCoords() : nullptr;
    face.textureCoordinates.resize(3);
    for (int k = 0; k < 3; ++k) {
        face.textureCoordinates[k] =
            mapping ? mapping[indices[k]] : boxMappingUV(face.points[k], face.normals[k]);
    }

    const OdDbObjectId* materials = m_currentFaceData ? m_currentFaceData->materials() : nullptr;
    OdDbObjectId material = materials ? materials[m_faceCounter] : OdDbObjectId();
    OdDbDatabase* db = state.currentDatabase;
    if (!material.isNull() && db && material != db->byBlockMaterialId() &&
        material != db->byLayerMaterialId())
        face.materialKey = materialIdString(material);
    else if (!material.isNull() && !db)
        face.materialKey = materialIdString(material);
    else
        face.materialKey = state.currentMaterialKey;
}

OdGePoint3d zalUnrealRenderSimplifier::boxMappingUV(const OdGePoint3d& p, const OdGeVector3d& n)
{
    const double eps = 1e-10;
    const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    if (ax > ay + eps && ax > az + eps) return OdGePoint3d(n.x < -eps ? -p.y : p.y, -p.z, 0.0);
    if (ax <= ay + eps && ay > az + eps) return OdGePoint3d(n.y < -eps ? p.x : -p.x, -p.z, 0.0);
    return OdGePoint3d(p.x, n.z < -eps ? p.y : -p.y, 0.0);
}
