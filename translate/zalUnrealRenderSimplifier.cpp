#include "translate/zalUnrealRenderSimplifier.h"

#include "translate/zalUnrealDrawingState.h"

#include "gs/GiGeometry.h"

#include "DbDatabase.h"

#include <algorithm>
#include <cmath>

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
                                                   const OdGiEdgeData* edgeData, const OdGiFaceData* faceData)
{
    m_currentFaceData = faceData;
    m_faceCounter = 0;
    m_groupFace = kNoFace;
    m_inFaces = true;
    OdGiGeometrySimplifier::generateShellFaces(faceListSize, faceList, edgeData, faceData);
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

inline void zalUnrealRenderSimplifier::accept(const std::int32_t* indices, const OdGeVector3d* faceNormal)
{
    const OdGePoint3d* vertices = vertexDataList();
    if (!vertices) return;
    const OdGePoint3d& a = vertices[indices[0]];
    const OdGePoint3d& b = vertices[indices[1]];
    const OdGePoint3d& c = vertices[indices[2]];
    // Coincident corners, then the third corner within 1e-6 of the line through the first two.
    const double tol = OdGeContext::gTol.equalPoint();
    const OdGeVector3d e1 = b - a;
    const OdGeVector3d e2 = c - a;
    const OdGeVector3d e3 = c - b;
    const double l1 = dot(e1, e1);
    const double l2 = dot(e2, e2);
    if (l1 <= tol * tol || l2 <= tol * tol || dot(e3, e3) <= tol * tol) return;
    // Only the distance from the line counts: a short first edge alone is a sliver of a drawing in
    // large units, still a visible face.
    const double collinear = kCollinearTol.equalPoint();
    const OdGeVector3d area = cross(e1, e2);
    const double areaSquared = dot(area, area);
    if (areaSquared <= collinear * collinear * l1) return;
    // Corners equal in the viewer frame are closer still in the drawing's, so every triangle kept here
    // also passes the stream's own test for coincident corners.

    // The plane normal in the viewer frame. Under diag(-100, 100, 100) the edges grow by 100 and their
    // cross product turns into 1e4 (x, -y, -z); the tests for short or parallel edges are those of the
    // converted edges, scaled back.
    const double vtol = OdGeContext::gTol.equalVector();
    OdGeVector3d plane;
    if (1e4 * l1 > vtol * vtol && 1e4 * l2 > vtol * vtol && areaSquared > vtol * vtol * l1 * l2) {
        const double inverse = 1.0 / std::sqrt(areaSquared);
        plane = OdGeVector3d(area.x * inverse, -area.y * inverse, -area.z * inverse);
    }

    const OdGiVertexData* data = vertexData();
    const OdGeVector3d* vertexNormals = data ? data->normals() : nullptr;
    OdGeVector3d normals[3];
    bool sharedNormal = false;
    if (vertexNormals && !isZero(vertexNormals[indices[0]], vtol) &&
        !isZero(vertexNormals[indices[1]], vtol) && !isZero(vertexNormals[indices[2]], vtol)) {
        for (int k = 0; k < 3; ++k)
            normals[k] = toViewerNormal(vertexNormals[indices[k]]);
    } else {
        normals[0] = normals[1] = normals[2] = toViewerNormal(faceNormal ? *faceNormal : plane);
        sharedNormal = true;
    }

    const zalPendingFaces::Slots out = m_pending->appendTriangle(currentGroup());
    // The corners in the viewer frame, kept in doubles for the box mapping.
    const OdGePoint3d* corners[3] = {&a, &b, &c};
    double viewer[9];
    for (int k = 0; k < 3; ++k) {
        viewer[3 * k + 0] = -100.0 * corners[k]->x;
        viewer[3 * k + 1] = 100.0 * corners[k]->y;
        viewer[3 * k + 2] = 100.0 * corners[k]->z;
    }
    for (int i = 0; i < 9; ++i)
        out.positions[i] = float(viewer[i]);
    if (sharedNormal) {
        if (faceNormal) {
            writeStreamNormal(normals[0], plane, vtol, out.normals);
        } else {
            // The mirrored plane normal is unit length already (or zero, which the stream keeps).
            out.normals[0] = float(normals[0].x);
            out.normals[1] = float(normals[0].y);
            out.normals[2] = float(normals[0].z);
        }
        std::copy(out.normals, out.normals + 3, out.normals + 3);
        std::copy(out.normals, out.normals + 3, out.normals + 6);
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
            projection.write(viewer + 3 * k, out.textureCoordinates + 2 * k);
    } else {
        for (int k = 0; k < 3; ++k)
            BoxProjection(normals[k]).write(viewer + 3 * k, out.textureCoordinates + 2 * k);
    }
}

OdGePoint3d zalUnrealRenderSimplifier::boxMappingUV(const OdGePoint3d& p, const OdGeVector3d& n)
{
    const BoxProjection box(n);
    const double c[3] = {p.x, p.y, p.z};
    return OdGePoint3d(box.uSign * c[box.uAxis], -box.vSign * c[box.vAxis], 0.0);
}
