#include "translate/zalUnrealRenderSimplifier.h"

#include "translate/zalUnrealDrawingState.h"

#include "gs/GiGeometry.h"

#include "DbDatabase.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const OdGeTol kCollinearTol(1e-6, 1e-6);

// Points cross into the viewer frame as diag(-100, 100, 100), normals as the X mirror.
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

inline bool isZero(const OdGeVector3d& v, double tol)
{
    return dot(v, v) <= tol * tol;
}

inline double length(const OdGeVector3d& v)
{
    return std::sqrt(dot(v, v));
}

// The normal a vertex is sent with: a zero-length one becomes the plane normal of the triangle (the zero
// vector when it has none), then it is made unit length.
inline void writeStreamNormal(const OdGeVector3d& normal, const OdGeVector3d& planeNormal, double tol,
                              float* out)
{
    const OdGeVector3d& n = dot(normal, normal) <= tol * tol ? planeNormal : normal;
    const double l = length(n);
    const double scale = l > tol ? 1.0 / l : 1.0;
    out[0] = float(n.x * scale);
    out[1] = float(n.y * scale);
    out[2] = float(n.z * scale);
}

// Box mapping as the stream writes it, (u, -v): one coordinate of the point each, with a sign, chosen
// by the normal's dominant axis. Worked out once per normal, applied to each vertex that shares it.
struct BoxProjection
{
    int uAxis;
    double uSign;
    int vAxis;
    double vSign;

    explicit BoxProjection(const OdGeVector3d& n)
    {
        const double eps = 1e-10;
        const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
        if (ax > ay + eps && ax > az + eps) {
            *this = {1, n.x < -eps ? -1.0 : 1.0, 2, 1.0}; // u = ±y, v = -z
        } else if (ax <= ay + eps && ay > az + eps) {
            *this = {0, n.y < -eps ? 1.0 : -1.0, 2, 1.0}; // u = ∓x, v = -z
        } else {
            *this = {0, 1.0, 1, n.z < -eps ? -1.0 : 1.0}; // u = x, v = ±y (-y seen from +Z)
        }
    }
    BoxProjection(int u, double su, int v, double sv) : uAxis(u), uSign(su), vAxis(v), vSign(sv) {}

    // c: a point's three coordinates.
    void write(const double* c, float* out) const
    {
        out[0] = float(uSign * c[uAxis]);
        out[1] = float(vSign * c[vAxis]);
    }
};

} // namespace

zalUnrealRenderSimplifier::zalUnrealRenderSimplifier()
    : m_pending(&zalUnrealDrawingState::instance().pendingFaces)
{
}

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
    m_groupFace = kNoFace;
    m_inFaces = true;
    OdGiGeometrySimplifier::generateMeshFaces(numRows, numColumns, faceData);
    m_currentFaceData = nullptr;
    m_groupFace = kNoFace;
    m_inFaces = false;
}

void zalUnrealRenderSimplifier::meshFaceOut(const std::int32_t* faceList, const OdGeVector3d* normal)
{
    OdGiGeometrySimplifier::meshFaceOut(faceList, normal);
    ++m_faceCounter;
}

void zalUnrealRenderSimplifier::generateShellFaces(std::int32_t faceListSize, const std::int32_t* faceList,
                                                   const OdGiEdgeData*, const OdGiFaceData* faceData)
{
    m_currentFaceData = faceData;
    m_faceCounter = 0;
    m_groupFace = kNoFace;
    m_inFaces = true;
    // The conveyor's face loop, with triangles and quads taken here without a call per triangle; other
    // faces go the conveyor's way.
    const bool corners = vertexDataList() != nullptr;
    if (corners) cacheViewerCorners();
    const OdGeVector3d* normals = faceData ? faceData->normals() : nullptr;
    const OdGiVertexData* data = vertexData();
    const bool plain = !normals && !(data && (data->normals() || data->mappingCoords()));
    std::int32_t i = 0;
    while (i < faceListSize) {
        const std::int32_t n = faceList[i];
        if (n <= 0) {
            // A hole without a face before it: nothing to cut it from.
            i += 1 - n;
            continue;
        }
        std::int32_t end = i + 1 + n;
        while (end < faceListSize && faceList[end] < 0)
            end += 1 - faceList[end];
        if (end > faceListSize) break; // truncated face list
        const OdGeVector3d* normal = normals ? normals + m_faceCounter : nullptr;
        const bool done = corners && (plain ? simpleFace<true>(end - i, faceList + i, nullptr)
                                            : simpleFace<false>(end - i, faceList + i, normal));
        if (!done) OdGiGeometrySimplifier::shellFaceOut(end - i, faceList + i, normal);
        ++m_faceCounter;
        i = end;
    }
    m_currentFaceData = nullptr;
    m_groupFace = kNoFace;
    m_inFaces = false;
}

void zalUnrealRenderSimplifier::shellFaceOut(std::int32_t faceListSize, const std::int32_t* faceList,
                                             const OdGeVector3d* normal)
{
    OdGiGeometrySimplifier::shellFaceOut(faceListSize, faceList, normal);
    ++m_faceCounter;
}

void zalUnrealRenderSimplifier::triangleOut(const std::int32_t* indices, const OdGeVector3d* normal)
{
    accept(indices, normal);
}

int zalUnrealRenderSimplifier::lookUpGroup()
{
    const OdDbObjectId* materials = m_currentFaceData ? m_currentFaceData->materials() : nullptr;
    const OdDbObjectId material = materials ? materials[m_faceCounter] : OdDbObjectId();
    // Within one shell or mesh, faces of one material share a group, whatever face they are.
    if (m_groupFace != kNoFace && material == m_groupMaterial) {
        m_groupFace = m_faceCounter;
        return m_group;
    }
    zalUnrealDrawingState& state = zalUnrealDrawingState::instance();
    zalPendingFaces& pending = state.pendingFaces;
    OdDbDatabase* db = state.currentDatabase;
    m_group = !material.isNull() &&
                      (!db || (material != db->byBlockMaterialId() && material != db->byLayerMaterialId()))
                  ? pending.groupOfMaterial(material)
                  : pending.groupOfKey(state.currentMaterialKey);
    // Outside a shell or mesh nothing says the next triangle shares this one's material.
    m_groupFace = m_inFaces ? m_faceCounter : kNoFace;
    m_groupMaterial = material;
    return m_group;
}

void zalUnrealRenderSimplifier::acceptTriangle(const std::int32_t* indices, const OdGeVector3d* faceNormal)
{
    accept(indices, faceNormal);
}

// What the tests for degenerate triangles and the plane normal need of a triangle (a, b, c): the squared
// lengths of b - a, c - a and c - b, and cross(b - a, c - a).
// The area vector's squared length and the inverse of its length (worked out before the tests that may
// not need it, so that two triangles can share the square root's wait).
struct zalUnrealRenderSimplifier::Edges
{
    double l1, l2, l3;
    OdGeVector3d area;
    double areaSquared;
    double inverse;
};

namespace {

inline zalUnrealRenderSimplifier::Edges edgesOf(const OdGePoint3d& a, const OdGePoint3d& b,
                                                const OdGePoint3d& c)
{
    const OdGeVector3d e1 = b - a;
    const OdGeVector3d e2 = c - a;
    const OdGeVector3d e3 = c - b;
    const OdGeVector3d area = cross(e1, e2);
    const double areaSquared = dot(area, area);
    return {dot(e1, e1), dot(e2, e2), dot(e3, e3), area, areaSquared, 1.0 / std::sqrt(areaSquared)};
}

// 1 / sqrt(a) and 1 / sqrt(b) at once; each lane rounds as the scalar operations do.
inline void inverseLengths(double a, double b, double& ia, double& ib)
{
#if defined(__SSE2__)
    const __m128d roots = _mm_sqrt_pd(_mm_set_pd(b, a));
    const __m128d inverses = _mm_div_pd(_mm_set1_pd(1.0), roots);
    ia = _mm_cvtsd_f64(inverses);
    ib = _mm_cvtsd_f64(_mm_unpackhi_pd(inverses, inverses));
#else
    ia = 1.0 / std::sqrt(a);
    ib = 1.0 / std::sqrt(b);
#endif
}

} // namespace

inline void zalUnrealRenderSimplifier::accept(const std::int32_t* indices, const OdGeVector3d* faceNormal)
{
    const OdGePoint3d* vertices = vertexDataList();
    if (!vertices) return;
    addTriangle<false, false>(indices, faceNormal,
                              edgesOf(vertices[indices[0]], vertices[indices[1]], vertices[indices[2]]));
}

void zalUnrealRenderSimplifier::cacheViewerCorners()
{
    const OdGePoint3d* vertices = vertexDataList();
    const std::size_t count = vertices ? std::size_t(std::max(0, vertexDataCount())) : 0;
    m_viewerCorners.resize(3 * count);
    m_viewerPositions.resize(3 * count);
    double* viewer = m_viewerCorners.data();
    float* positions = m_viewerPositions.data();
    for (std::size_t i = 0; i < count; ++i) {
        viewer[3 * i + 0] = -100.0 * vertices[i].x;
        viewer[3 * i + 1] = 100.0 * vertices[i].y;
        viewer[3 * i + 2] = 100.0 * vertices[i].z;
        for (int k = 0; k < 3; ++k)
            positions[3 * i + k] = float(viewer[3 * i + k]);
    }
}

template <bool cached, bool plain>
inline void zalUnrealRenderSimplifier::addTriangle(const std::int32_t* indices,
                                                   const OdGeVector3d* faceNormal, const Edges& edges)
{
    // Coincident corners, then the third corner within 1e-6 of the line through the first two.
    const double tol = OdGeContext::gTol.equalPoint();
    const double l1 = edges.l1;
    const double l2 = edges.l2;
    if (l1 <= tol * tol || l2 <= tol * tol || edges.l3 <= tol * tol) return;
    // Only the distance from the line counts: a short first edge alone is a sliver of a drawing in
    // large units, still a visible face.
    const double collinear = kCollinearTol.equalPoint();
    const OdGeVector3d& area = edges.area;
    const double areaSquared = edges.areaSquared;
    if (areaSquared <= collinear * collinear * l1) return;
    // Corners equal in the viewer frame are closer still in the drawing's, so every triangle kept here
    // also passes the stream's own test for coincident corners.

    // The plane normal in the viewer frame. Under diag(-100, 100, 100) the edges grow by 100 and their
    // cross product turns into 1e4 (x, -y, -z); the tests for short or parallel edges are those of the
    // converted edges, scaled back.
    const double vtol = OdGeContext::gTol.equalVector();
    OdGeVector3d plane;
    if (1e4 * l1 > vtol * vtol && 1e4 * l2 > vtol * vtol && areaSquared > vtol * vtol * l1 * l2) {
        const double inverse = edges.inverse;
        plane = OdGeVector3d(area.x * inverse, -area.y * inverse, -area.z * inverse);
    }

    // Plain: no vertex normals, no texture coordinates, no face normal.
    const OdGiVertexData* data = plain ? nullptr : vertexData();
    const OdGeVector3d* vertexNormals = data ? data->normals() : nullptr;
    if (plain) faceNormal = nullptr;
    OdGeVector3d normals[3];
    bool sharedNormal = false;
    if (!plain && vertexNormals && !isZero(vertexNormals[indices[0]], vtol) &&
        !isZero(vertexNormals[indices[1]], vtol) && !isZero(vertexNormals[indices[2]], vtol)) {
        for (int k = 0; k < 3; ++k)
            normals[k] = toViewerNormal(vertexNormals[indices[k]]);
    } else {
        normals[0] = normals[1] = normals[2] = toViewerNormal(faceNormal ? *faceNormal : plane);
        sharedNormal = true;
    }

    const zalPendingFaces::Slots out = m_pending->appendTriangle(currentGroup());
    // The corners in the viewer frame, kept in doubles for the box mapping.
    const double* corners[3];
    double viewer[9];
    if (cached) {
        for (int k = 0; k < 3; ++k) {
            corners[k] = m_viewerCorners.data() + 3 * std::size_t(indices[k]);
            std::memcpy(out.positions + 3 * k, m_viewerPositions.data() + 3 * std::size_t(indices[k]),
                        3 * sizeof(float));
        }
    } else {
        const OdGePoint3d* vertices = vertexDataList();
        for (int k = 0; k < 3; ++k) {
            const OdGePoint3d& p = vertices[indices[k]];
            viewer[3 * k + 0] = -100.0 * p.x;
            viewer[3 * k + 1] = 100.0 * p.y;
            viewer[3 * k + 2] = 100.0 * p.z;
            corners[k] = viewer + 3 * k;
        }
        for (int i = 0; i < 9; ++i)
            out.positions[i] = float(viewer[i]);
    }
    if (sharedNormal) {
        float shared[3];
        if (faceNormal) {
            writeStreamNormal(normals[0], plane, vtol, shared);
        } else {
            // The mirrored plane normal is unit length already (or zero, which the stream keeps).
            shared[0] = float(normals[0].x);
            shared[1] = float(normals[0].y);
            shared[2] = float(normals[0].z);
        }
        // From registers: reading back the floats just written stalls on the stores.
        for (int k = 0; k < 3; ++k) {
            out.normals[3 * k + 0] = shared[0];
            out.normals[3 * k + 1] = shared[1];
            out.normals[3 * k + 2] = shared[2];
        }
    } else {
        for (int k = 0; k < 3; ++k)
            writeStreamNormal(normals[k], plane, vtol, out.normals + 3 * k);
    }
    const OdGePoint3d* mapping = data ? data->mappingCoords() : nullptr;
    if (mapping) {
        for (int k = 0; k < 3; ++k) {
            out.textureCoordinates[2 * k + 0] = float(mapping[indices[k]].x);
            out.textureCoordinates[2 * k + 1] = float(-mapping[indices[k]].y);
        }
    } else if (sharedNormal) {
        const BoxProjection projection(normals[0]);
        for (int k = 0; k < 3; ++k)
            projection.write(corners[k], out.textureCoordinates + 2 * k);
    } else {
        for (int k = 0; k < 3; ++k)
            BoxProjection(normals[k]).write(corners[k], out.textureCoordinates + 2 * k);
    }
}

template <bool plain>
bool zalUnrealRenderSimplifier::simpleFace(std::int32_t faceListSize, const std::int32_t* faceList,
                                           const OdGeVector3d* normal)
{
    // The same faces, checks and fan as the conveyor's own path for triangles and quads, with the
    // corners converted once per shell and the quad's two cross products reused by its triangles.
    if (!((faceListSize == 4 && faceList[0] == 3) || (faceListSize == 5 && faceList[0] == 4))) return false;
    const std::int32_t n = faceList[0];
    const std::int32_t* loop = faceList + 1;
    const std::int32_t count = vertexDataCount();
    bool valid = true;
    for (std::int32_t k = 0; k < n; ++k)
        valid = valid && loop[k] >= 0 && loop[k] < count;
    if (!valid) return true;
    const OdGePoint3d* v = vertexDataList();
    if (n == 3) {
        addTriangle<true, plain>(loop, normal, edgesOf(v[loop[0]], v[loop[1]], v[loop[2]]));
        return true;
    }
    const OdGePoint3d& p0 = v[loop[0]];
    const OdGeVector3d d1 = v[loop[1]] - p0;
    const OdGeVector3d d2 = v[loop[2]] - p0;
    const OdGeVector3d d3 = v[loop[3]] - p0;
    const OdGeVector3d half1 = cross(d1, d2);
    const OdGeVector3d half2 = cross(d2, d3);
    const double both = dot(half1, half2);
    if (!(dot(half1, half1) + both >= 0.0 && dot(half2, half2) + both >= 0.0 &&
          dot(half1, half1) + 2.0 * both + dot(half2, half2) > 0.0))
        return false;
    const OdGeVector3d e12 = v[loop[2]] - v[loop[1]];
    const OdGeVector3d e23 = v[loop[3]] - v[loop[2]];
    const double l2 = dot(d2, d2);
    const std::int32_t second[3] = {loop[0], loop[2], loop[3]};
    Edges first{dot(d1, d1), l2, dot(e12, e12), half1, dot(half1, half1), 0.0};
    Edges other{l2, dot(d3, d3), dot(e23, e23), half2, dot(half2, half2), 0.0};
    inverseLengths(first.areaSquared, other.areaSquared, first.inverse, other.inverse);
    addTriangle<true, plain>(loop, normal, first);
    addTriangle<true, plain>(second, normal, other);
    return true;
}

OdGePoint3d zalUnrealRenderSimplifier::boxMappingUV(const OdGePoint3d& p, const OdGeVector3d& n)
{
    const BoxProjection box(n);
    const double c[3] = {p.x, p.y, p.z};
    return OdGePoint3d(box.uSign * c[box.uAxis], -box.vSign * c[box.vAxis], 0.0);
}
